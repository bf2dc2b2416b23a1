// src/binding/entry/non_null.cpp: the fatal failure for an object the interpreter could not make
#include "non_null.h"

#include <korvane/read_failure.h>

namespace korvane::binding {

void raise_null_object() {
  if (PyErr_Occurred() != nullptr) {
    PyErr_WriteUnraisable(nullptr);
  }
  raise_failure("PyObject pointer is null");
}

} // namespace korvane::binding
