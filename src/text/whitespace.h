// src/text/whitespace.h: the characters that separate tokens and are trimmed from fields
#pragma once

namespace korvane::text {

/// True for the six ASCII characters of White_Space: the space, and tab to carriage return.
[[nodiscard]] constexpr bool is_ascii_white_space(char32_t c) noexcept {
  return c == U' ' || (c >= U'\t' && c <= U'\r');
}

/// True for the 25 characters of the Unicode White_Space property.
[[nodiscard]] bool is_white_space(char32_t c) noexcept;

} // namespace korvane::text
