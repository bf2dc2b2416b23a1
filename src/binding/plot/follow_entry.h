// src/binding/plot/follow_entry.h: the interpreter's entries into the reader for follow
#pragma once

#include <Python.h>

namespace korvane::binding {

/// _follow_open(file_path, width, choices) -> a capsule owning the open file and what the reads
/// keep: the file must be a regular one. file_path is a str or bytes; width 0 takes the width from
/// the first data line; choices is None or a sequence of positions (int) and names (str).
PyObject* follow_open_entry(PyObject* module, PyObject* arguments);

/// _follow_read(capsule, keep_block_headers) -> (title, names, columns, blocks, block_headers) of
/// the blocks completed since the last read, or None when the file has not grown or does not
/// hold its first line and names yet; FollowError when the file shrank below what was read, was
/// rewritten or is no longer the one at its path.
PyObject* follow_read_entry(PyObject* module, PyObject* arguments);

/// _follow_close(capsule) -> None: closes the file; later reads raise ValueError.
PyObject* follow_close_entry(PyObject* module, PyObject* capsule);

} // namespace korvane::binding
