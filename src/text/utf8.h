// src/text/utf8.h: UTF-8 validation and decoding
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvane::text {

/// True when bytes is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
[[nodiscard]] bool is_valid_utf8(std::string_view bytes) noexcept;

/// True when offset is the start of a character of the valid UTF-8 text s, or its end.
[[nodiscard]] constexpr bool is_char_boundary(std::string_view s, std::size_t offset) noexcept {
  if (offset >= s.size()) {
    return offset == s.size();
  }
  // Continuation bytes are 0b10xxxxxx.
  return (static_cast<unsigned char>(s[offset]) & 0xC0) != 0x80;
}

/// One character decoded from valid UTF-8 and the number of bytes it takes.
struct decoded_char {
  char32_t code_point;
  std::size_t length;
};

/// Decodes the character that starts at offset of the valid UTF-8 text s.
[[nodiscard]] constexpr decoded_char decode_at(std::string_view s, std::size_t offset) noexcept {
  const auto byte = [&](std::size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(s[offset + i]));
  };
  const char32_t lead = byte(0);
  if (lead < 0x80) {
    return {lead, 1};
  }
  if (lead < 0xE0) {
    return {((lead & 0x1F) << 6) | (byte(1) & 0x3F), 2};
  }
  if (lead < 0xF0) {
    return {((lead & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F), 3};
  }
  return {((lead & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
              (byte(3) & 0x3F),
          4};
}

} // namespace korvane::text
