// src/binding/plot_failure.h: a failed read of read_plot raised as Python raises such failures
#pragma once

#include <Python.h>
#include <korvane/read_failure.h>

namespace korvane::binding {

/// Raises the failure of a read of the plot file at path (a str): the OSError open() or read()
/// would raise, PlotFormatError for malformed content, KeyError, IndexError or ValueError for a
/// choice of parameters the file cannot meet, MemoryError for refused memory. A failure while
/// raising it leaves that failure's exception set instead.
void raise_plot_failure(const read_failure& failure, PyObject* path) noexcept;

} // namespace korvane::binding
