// src/binding/entry/non_null.h: the fatal failure for an object the interpreter could not make
#pragma once

#include <Python.h>

namespace korvane::binding {

/// Writes the interpreter's current exception (if any) as unraisable, then raises the fatal
/// failure "PyObject pointer is null".
[[noreturn]] void raise_null_object();

/// Returns object unless it is null, in which case it is raise_null_object().
[[nodiscard]] inline PyObject* non_null(PyObject* object) {
  if (object == nullptr) {
    raise_null_object();
  }
  return object;
}

} // namespace korvane::binding
