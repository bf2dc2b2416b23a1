// src/lib/width.h: the field width that the first data line tells
#pragma once

#include "numbered_lines.h"

#include <cstdint>
#include <optional>

namespace korvane::reader {

/// The width of the first data line's fields: its length divided by the fields it holds. The
/// line is given back, to be read as the first block's first data line. Nothing when a growing
/// input does not hold the line yet.
std::optional<std::uint32_t> width_of_first_data_line(numbered_lines& lines, std::uint32_t count,
                                                      bool input_grows);

} // namespace korvane::reader
