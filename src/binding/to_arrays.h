// src/binding/to_arrays.h: columns as array('f') objects, for read_plot
#pragma once

#include "pending_error.h"
#include "py_ref.h"

#include <korvane/columns.h>

namespace korvane::binding {

/// A new list holding one array('f') per column, each holding the column's floats bit for bit;
/// frees each column's storage as soon as its array is made. The array module is imported on
/// first use.
[[nodiscard]] result<py_ref> float_arrays(columns data);

} // namespace korvane::binding
