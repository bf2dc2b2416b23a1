// src/text/utf8.h: UTF-8 validation and decoding
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvane::text {

/// The bytes a sequence takes, by its lead byte; 0 for a byte that cannot lead one.
constexpr std::size_t sequence_length(unsigned char lead) noexcept {
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return 4;
  }
  return 0;
}

/// Whether byte may follow lead at position index of a sequence. The second byte's range rules
// out overlong forms (after E0, F0), surrogates (after ED) and code points past U+10FFFF
// (after F4); the later bytes are plain continuation bytes.
constexpr bool may_follow(unsigned char lead, std::size_t index, unsigned char byte) noexcept {
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (index == 1) {
    if (lead == 0xE0) {
      low = 0xA0;
    } else if (lead == 0xED) {
      high = 0x9F;
    } else if (lead == 0xF0) {
      low = 0x90;
    } else if (lead == 0xF4) {
      high = 0x8F;
    }
  }
  return byte >= low && byte <= high;
}

/// How many bytes at the start of bytes are ASCII.
[[nodiscard]] std::size_t ascii_prefix_length(std::string_view bytes) noexcept;

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

/// The offset of the first byte of the character of the valid UTF-8 text s that covers offset;
/// offset itself when it is a boundary.
[[nodiscard]] constexpr std::size_t character_start(std::string_view s,
                                                    std::size_t offset) noexcept {
  while (!is_char_boundary(s, offset)) {
    --offset;
  }
  return offset;
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
