// src/binding/lists/failure_note.cpp: the note that says where in the plot file a read failed
#include "failure_note.h"

#include "binding/entry/failure_place.h"
#include "binding/entry/names.h"
#include "binding/entry/py_ref.h"
#include "text/number_text.h"

#include <optional>

namespace korvane::binding {

namespace {

// The path as Python writes it in a repr, quotes included; nothing if the interpreter fails.
std::optional<string> quoted(std::string_view path) {
  const py_ref text =
      py_ref::steal(PyUnicode_FromStringAndSize(path.data(), static_cast<Py_ssize_t>(path.size())));
  const py_ref repr = py_ref::steal(text ? PyObject_Repr(text.get()) : nullptr);
  Py_ssize_t size = 0;
  const char* data = repr ? PyUnicode_AsUTF8AndSize(repr.get(), &size) : nullptr;
  if (data == nullptr) {
    return std::nullopt;
  }
  return string(data, static_cast<std::size_t>(size));
}

// Sets value.__notes__ to a list holding the note; false with an error set if it could not.
bool set_note(PyObject* value, const string& note) {
  py_ref text =
      py_ref::steal(PyUnicode_FromStringAndSize(note.data(), static_cast<Py_ssize_t>(note.size())));
  const py_ref notes = py_ref::steal(text ? PyList_New(1) : nullptr);
  if (!notes) {
    return false;
  }
  PyList_SET_ITEM(notes.get(), 0, text.release());
  return PyObject_SetAttrString(value, names::notes, notes.get()) == 0;
}

string failure_note_text(std::string_view quoted_path, const read_site& site) {
  string note = "in plot file ";
  note.append(quoted_path).append(", line ");
  text::append_number(note, site.line_number);
  if (site.has_field) {
    note.append(", ").append(field_place(site));
  }
  note.append(width_hint(site));
  return note;
}

} // namespace

void add_failure_note(const read_site& site, std::string_view file_path) noexcept {
  // The failures of the first line and the names read before any block concern the file's
  // opening lines as a whole: they go without a note.
  const bool before_blocks =
      site.kind == failure_kind::bad_parameter_count || site.kind == failure_kind::missing_name;
  if (site.line_number == 0 || before_blocks) {
    return;
  }
  // The PanicException is set as the current exception: hold it aside while the note is made,
  // so that a failure to make it can be cleared without touching the PanicException.
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (value != nullptr) {
    const std::optional<string> path = quoted(file_path);
    if (!path || !set_note(value, failure_note_text(*path, site))) {
      PyErr_Clear();
    }
  }
  PyErr_Restore(type, value, traceback);
}

} // namespace korvane::binding
