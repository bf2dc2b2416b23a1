// src/binding/lists/call_entry.h: the interpreter's entry into rust_read_tolvera
#pragma once

#include <Python.h>

namespace korvane::binding {

/// Binds file_path and n_digits, reads the plot file and returns its columns as lists of
/// floats; null with the interpreter's exception set on failure.
PyObject* fastcall_cfunction_with_keywords(PyObject* module, PyObject* const* arguments,
                                           Py_ssize_t positional_count, PyObject* keyword_names);

} // namespace korvane::binding
