// src/lib/data_line.cpp: a data line's values, taken by the fastest route that reads it
#include "data_line.h"

#include <algorithm>

namespace korvane::reader {

namespace {

// The most bytes of a line a field's failure message shows (text::slice_message), and of a
// UTF-8 character.
constexpr std::size_t shown_line_bytes = 256;
constexpr std::size_t longest_sequence = 4;

} // namespace

std::size_t data_line_keep(std::uint32_t fields, std::uint32_t width) noexcept {
  return std::max(std::size_t{fields} * width + longest_sequence, shown_line_bytes + 1);
}

} // namespace korvane::reader
