// src/binding/plot/parts_entry.h: the interpreter's entries into the reader for open_plot
#pragma once

#include <Python.h>

namespace korvane::binding {

/// _parts_open(file_path, width, whole) -> (capsule, title, names): the file opened, its head read
/// and its complete blocks indexed; width 0 takes the width from the first data line; whole reads
/// the file as read_plot does, its last line counting without a line feed.
PyObject* parts_open_entry(PyObject* module, PyObject* arguments);

/// _parts_update(capsule) -> (blocks, width): the blocks indexed since the last update added, the
/// width (0 while unknown); FollowError when the file shrank below the indexed blocks or is no
/// longer the one at its path.
PyObject* parts_update_entry(PyObject* module, PyObject* capsule);

/// _parts_read(capsule, choices, keep_block_headers, runs) -> (title, names, columns, blocks,
/// block_headers) of the runs, a sequence of (first, last) pairs of indexed blocks.
PyObject* parts_read_entry(PyObject* module, PyObject* arguments);

/// _parts_close(capsule) -> None: closes the file; later calls raise ValueError.
PyObject* parts_close_entry(PyObject* module, PyObject* capsule);

} // namespace korvane::binding
