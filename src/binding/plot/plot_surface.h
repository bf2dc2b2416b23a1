// src/binding/plot/plot_surface.h: the Python half of the read_plot surface, run in the module
#pragma once

#include "binding/entry/pending_error.h"

#include <Python.h>

namespace korvane::binding {

/// Runs plot_surface.py, then lazy_arrays.py, in the module's namespace, which defines
/// read_plot, follow, open_plot, their types and the xarray engine there, and keeps the exception
/// types the binding raises.
[[nodiscard]] result<void> run_plot_surface(PyObject* module);

/// PlotFormatError, as the module made it when it was first run; null before.
[[nodiscard]] PyObject* plot_format_error_type() noexcept;

/// FollowError, as the module made it when it was first run; null before.
[[nodiscard]] PyObject* follow_error_type() noexcept;

} // namespace korvane::binding
