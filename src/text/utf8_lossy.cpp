// src/text/utf8_lossy.cpp: decoding bytes that may not be UTF-8, for texts of the C library
#include "utf8_lossy.h"

#include <cstddef>

namespace korvane::text {

namespace {

constexpr std::string_view replacement_character = "\xEF\xBF\xBD";

// The bytes a sequence takes, by its lead byte; 0 for a byte that cannot lead one.
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

// Whether byte may follow lead at position index of a sequence. The second byte's range rules
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

// The bytes at the start of rest that belong to the sequence its first byte opens: all of it
// when well formed, else its longest prefix that could still begin one (at least one byte).
std::size_t sequence_prefix(std::string_view rest, std::size_t length) noexcept {
  const auto lead = static_cast<unsigned char>(rest[0]);
  std::size_t taken = 1;
  while (taken < length && taken < rest.size() &&
         may_follow(lead, taken, static_cast<unsigned char>(rest[taken]))) {
    ++taken;
  }
  return taken;
}

} // namespace

void append_utf8_lossy(string& out, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::size_t taken = 1;
    if (lead < 0x80) {
      out += bytes[0];
    } else if (const std::size_t length = sequence_length(lead); length == 0) {
      out += replacement_character;
    } else {
      taken = sequence_prefix(bytes, length);
      out += taken == length ? bytes.substr(0, length) : replacement_character;
    }
    bytes.remove_prefix(taken);
  }
}

} // namespace korvane::text
