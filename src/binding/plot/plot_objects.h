// src/binding/plot/plot_objects.h: what the read_plot and follow entries take from Python and give
// back
#pragma once

#include "binding/entry/pending_error.h"
#include "binding/entry/py_ref.h"
#include "lib.h"

#include <string_view>

namespace korvane::binding {

/// A new str holding the UTF-8 text; null with the interpreter's error set when it cannot be made.
[[nodiscard]] py_ref text_object(std::string_view text);

/// A str's UTF-8 text, which lives as long as the str.
[[nodiscard]] result<std::string_view> utf8_of(PyObject* text);

/// A path as the system takes it: text views the bytes, which owner keeps alive.
struct system_path {
  py_ref owner;
  std::string_view text;
};

/// The bytes a path (a str or bytes, as os.fspath gives it) names its file by: a str's are those
/// os.fsencode makes, so that a name os.listdir() decoded with surrogate escapes names its file
/// again; TypeError for anything else.
[[nodiscard]] result<system_path> system_path_of(PyObject* path);

/// The request that a width (0: take it from the first data line), a choice of columns (None or
/// a sequence of positions and names) and the keeping of block headers make.
[[nodiscard]] result<plot_request> request_of(Py_ssize_t width, PyObject* choices,
                                              int keep_block_headers);

/// (title, names, columns, blocks, block_headers) for the contents read: names a tuple of str,
/// columns a list of array('f') (or the table given, which holds the values instead),
/// block_headers a list of str or None when not kept.
[[nodiscard]] result<py_ref> contents_object(plot_contents contents, bool keep_block_headers,
                                             py_ref table = {});

} // namespace korvane::binding
