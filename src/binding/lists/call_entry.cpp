// src/binding/lists/call_entry.cpp: the interpreter's entry into rust_read_tolvera
#include "call_entry.h"

#include "binding/entry/arguments.h"
#include "binding/entry/entry_guard.h"
#include "binding/entry/gil_release.h"
#include "binding/entry/names.h"
#include "failure_note.h"
#include "lib.h"
#include "to_python.h"

#include <array>

namespace korvane::binding {

namespace {

constexpr std::array<std::string_view, 2> parameter_names = {names::file_path, names::n_digits};

constexpr function_description description = {names::function, parameter_names};

// Binds the arguments and reads the file; bound_path receives the path once it is bound.
result<py_ref> read_tolvera(PyObject* const* arguments, Py_ssize_t positional_count,
                            PyObject* keyword_names, std::string_view& bound_path) {
  std::array<PyObject*, 2> slots{};
  result<void> bound =
      extract_arguments_fastcall(description, arguments, positional_count, keyword_names, slots);
  if (!bound) {
    return bound.take_error();
  }
  result<std::string_view> file_path = text_argument(slots[0]);
  if (!file_path) {
    return argument_extraction_error(names::file_path, file_path.take_error());
  }
  result<std::uint32_t> n_digits = unsigned_32_argument(slots[1]);
  if (!n_digits) {
    return argument_extraction_error(names::n_digits, n_digits.take_error());
  }
  bound_path = file_path.value();
  // Other Python threads run while the reader opens and reads the file. file_path borrows the
  // UTF-8 buffer of the caller's str: the caller holds that str until the call returns and a str
  // never changes, so the text stays valid. No signal check is asked: an interrupted system call
  // is repeated, and a signal's handler runs once the call returns.
  result<columns> all_data =
      without_interpreter_lock([&] { return read_plot_file(file_path.value(), n_digits.value()); });
  if (!all_data) {
    return all_data.take_error();
  }
  return owned_sequence_into_pyobject(std::move(all_data.value()));
}

} // namespace

PyObject* fastcall_cfunction_with_keywords(PyObject*, PyObject* const* arguments,
                                           Py_ssize_t positional_count, PyObject* keyword_names) {
  // The path's UTF-8 belongs to the argument, which outlives the call.
  std::string_view file_path;
  return guarded_entry(
      [&] { return read_tolvera(arguments, positional_count, keyword_names, file_path); },
      [](result<py_ref>& all_data) { return all_data.value().release(); },
      static_cast<PyObject*>(nullptr),
      [&](const read_failure& failure) noexcept {
        raise_panic(failure.message());
        add_failure_note(failure.site(), file_path);
      });
}

} // namespace korvane::binding
