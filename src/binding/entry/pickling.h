// src/binding/entry/pickling.h: where pickle finds the PanicException type
#pragma once

#include "pending_error.h"

#include <Python.h>

namespace korvane::binding {

/// Makes the type findable by pickle under the module and name it carries: the attribute
/// PanicException of the module pyo3_runtime in sys.modules, created when absent. A
/// PanicException already there is left in place.
[[nodiscard]] result<void> register_for_pickling(PyObject* panic_type);

} // namespace korvane::binding
