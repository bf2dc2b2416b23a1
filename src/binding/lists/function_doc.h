// src/binding/lists/function_doc.h: the documentation of rust_read_tolvera, text signature first
#pragma once

namespace korvane::binding {

/// The function's documentation; its first three lines are the text-signature prefix.
inline constexpr char function_doc[] =
    "rust_read_tolvera(file_path, n_digits)\n"
    "--\n"
    "\n"
    "# Reads in the tolvera file.\n"
    "\n"
    "1. First opens the\n"
    "1. Gets the number of parameters\n"
    "1. Gets the parameter names\n"
    "1. Loops over the rest of the file\n"
    "\n"
    "## TOLVERA plot file shape\n"
    "The TOLVERA data is stored in blocks per timestep with a max width of 10 columns.\n"
    "There are 2 versions of the TOLVERA plot file:\n"
    "1. 6 digits of percision, n_digits=12\n"
    "1. 9 digits of precision, n_digits=15\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "file_path: &str\n"
    "    the file path\n"
    "n_digits: usize\n"
    "    the width of a datafield\n"
    "\n"
    "Returns\n"
    "-------\n"
    "all_data: Vec<Vec<f32>>\n"
    "    the data stored in a vector of columns/vectors.\n";

} // namespace korvane::binding
