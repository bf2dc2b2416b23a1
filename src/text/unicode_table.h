// src/text/unicode_table.h: the generated code point ranges behind the Unicode properties
#pragma once

#include <span>
#include <string_view>

namespace korvane::text::detail {

/// The code points first to last, both included.
struct code_point_range {
  char32_t first;
  char32_t last;
};

/// The version of the Unicode Character Database the ranges were generated from.
[[nodiscard]] std::string_view unicode_version() noexcept;

/// The printable code points, as sorted disjoint ranges.
[[nodiscard]] std::span<const code_point_range> printable_ranges() noexcept;

/// The code points with the Grapheme_Extend property, as sorted disjoint ranges.
[[nodiscard]] std::span<const code_point_range> grapheme_extend_ranges() noexcept;

} // namespace korvane::text::detail
