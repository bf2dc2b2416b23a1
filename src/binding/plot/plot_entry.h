// src/binding/plot/plot_entry.h: the interpreter's entry into the reader for read_plot
#pragma once

#include <Python.h>

namespace korvane::binding {

/// _read_plot(file_path, width, choices, keep_block_headers) -> (title, names, columns, blocks,
/// block_headers): the reader's part of read_plot. file_path is a str or bytes; width 0 takes the
/// width from the first data line; choices is None or a sequence of positions (int) and names
/// (str); block_headers is a list of str, or None when not kept. Null with the exception set on
/// failure.
PyObject* read_plot_entry(PyObject* module, PyObject* arguments);

} // namespace korvane::binding
