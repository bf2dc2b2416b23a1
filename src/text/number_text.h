// src/text/number_text.h: integers appended to a text in decimal or lowercase hexadecimal
#pragma once

#include <charconv>
#include <concepts>
#include <korvane/string.h>

namespace korvane::text {

/// Appends value in base 10 or 16 (lowercase digits, no leading zeros, "-" for negatives).
template <std::integral T>
void append_number(string& out, T value, int base = 10) {
  char digits[24];
  const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value, base);
  out.append(digits, end.ptr);
}

} // namespace korvane::text
