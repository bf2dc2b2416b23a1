// src/binding/failure_note.cpp: the note that says where in the plot file a read failed
#include "failure_note.h"

#include "names.h"
#include "py_ref.h"
#include "text/number_text.h"

#include <optional>

namespace korvane::binding {

namespace {

// The two widths the plot files are written with: six and nine digits of precision.
constexpr std::size_t narrow_width = 12;
constexpr std::size_t wide_width = 15;
constexpr std::size_t fields_per_line = 10;

// The common width other than the one that failed, when the failure at the first field of the
// first data line suggests the file was written with it: the line is a whole number of its
// fields, at most a full line.
std::optional<std::size_t> other_fitting_width(const read_site& site) {
  const std::size_t width = site.field_end - site.field_start;
  if (!site.has_field || !site.first_data_line || site.field_index != 0 || site.line_length == 0 ||
      (width != narrow_width && width != wide_width)) {
    return std::nullopt;
  }
  const std::size_t other = width == narrow_width ? wide_width : narrow_width;
  if (site.line_length % other != 0 || site.line_length > other * fields_per_line) {
    return std::nullopt;
  }
  return other;
}

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

string field_place(const read_site& site) {
  string place("field ");
  text::append_number(place, site.field_index + 1);
  place.append(" (bytes ");
  text::append_number(place, site.field_start);
  place.append(" to ");
  text::append_number(place, site.field_end);
  place.append(")");
  return place;
}

string width_hint(const read_site& site) {
  string hint;
  if (const std::optional<std::size_t> other = other_fitting_width(site)) {
    hint.append("; the line is ");
    text::append_number(hint, site.line_length);
    hint.append(" bytes long, a multiple of ");
    text::append_number(hint, *other);
    hint.append(": should n_digits be ");
    text::append_number(hint, *other);
    hint.append("?");
  }
  return hint;
}

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
