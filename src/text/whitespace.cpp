// src/text/whitespace.cpp: the Unicode White_Space property, by ASCII test and one bit table
#include "whitespace.h"

#include <array>
#include <cstdint>

namespace korvane::text {

namespace {

// Bit 0 marks White_Space in U+00xx, bit 1 in U+20xx, indexed by the low byte.
constexpr std::array<std::uint8_t, 256> whitespace_map = [] {
  std::array<std::uint8_t, 256> map{};
  map[0x85] |= 1;
  map[0xA0] |= 1;
  for (unsigned low = 0x00; low <= 0x0A; ++low) {
    map[low] |= 2;
  }
  for (unsigned low : {0x28U, 0x29U, 0x2FU, 0x5FU}) {
    map[low] |= 2;
  }
  return map;
}();

} // namespace

bool is_white_space(char32_t c) noexcept {
  if (c < 0x80) {
    return is_ascii_white_space(c);
  }
  switch (c >> 8) {
  case 0x00:
    return (whitespace_map[c & 0xFF] & 1) != 0;
  case 0x16:
    return c == 0x1680;
  case 0x20:
    return (whitespace_map[c & 0xFF] & 2) != 0;
  case 0x30:
    return c == 0x3000;
  default:
    return false;
  }
}

} // namespace korvane::text
