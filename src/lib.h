// src/lib.h: the plot file reader
#pragma once

#include <cstdint>
#include <korvane/columns.h>
#include <string_view>

namespace korvane {

/// Reads the plot file at file_path, whose data fields are n_digits bytes wide, into one column
/// per parameter. Every problem raises read_failure; the file is closed on every path.
[[nodiscard]] columns read_plot_file(std::string_view file_path, std::uint32_t n_digits);

} // namespace korvane
