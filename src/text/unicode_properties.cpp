// src/text/unicode_properties.cpp: Unicode properties looked up in the generated range tables
#include "unicode_properties.h"

#include "unicode_table.h"

#include <algorithm>
#include <iterator>

namespace korvane::text {

namespace {

// Binary search for the last range that starts at or before c.
bool in_ranges(std::span<const detail::code_point_range> ranges, char32_t c) noexcept {
  const auto after = std::upper_bound(
      ranges.begin(), ranges.end(), c,
      [](char32_t value, const detail::code_point_range& range) { return value < range.first; });
  return after != ranges.begin() && c <= std::prev(after)->last;
}

} // namespace

bool is_printable(char32_t c) noexcept {
  // The ASCII categories never change: controls below U+0020, and U+007F.
  if (c < 0x7F) {
    return c >= 0x20;
  }
  return in_ranges(detail::printable_ranges(), c);
}

bool is_grapheme_extend(char32_t c) noexcept {
  return in_ranges(detail::grapheme_extend_ranges(), c);
}

} // namespace korvane::text
