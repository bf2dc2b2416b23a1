// src/binding/entry/exception_type.cpp: the PanicException type, as which fatal failures reach
// Python
#include "exception_type.h"

#include "names.h"

#include <korvane/read_failure.h>

namespace korvane::binding {

namespace {

constexpr const char* panic_type_doc =
    "\n"
    "The exception raised when the native code of korvane, called from Python, fails fatally.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that it will typically\n"
    "propagate all the way through the stack and cause the Python interpreter to exit.\n";

// Filled once, with a reference that is never released; read and written with the interpreter
// lock held.
PyObject* panic_type_cell = nullptr;

PyObject* create_panic_type() {
  PyObject* type = PyErr_NewExceptionWithDoc(names::panic_type_qualified, panic_type_doc,
                                             PyExc_BaseException, nullptr);
  if (type == nullptr) {
    raise_failure("Failed to initialize new exception type.",
                  pending_error::fetch_resuming_panic().debug_description());
  }
  return type;
}

} // namespace

PyObject* panic_exception_type() {
  if (panic_type_cell == nullptr) {
    panic_type_cell = create_panic_type();
  }
  return panic_type_cell;
}

PyObject* existing_panic_exception_type() noexcept {
  return panic_type_cell;
}

pending_error panic_error(std::string_view message) {
  return pending_error::lazy(py_ref::borrow(panic_exception_type()),
                             pending_error::argument_form::message_tuple, string(message));
}

} // namespace korvane::binding
