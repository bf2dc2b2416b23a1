// src/text/utf8.cpp: UTF-8 validation with a fast path for ASCII runs
#include "utf8.h"

#include <cstring>

namespace korvane::text {

namespace {

constexpr std::uint64_t high_bits = 0x8080808080808080ULL;

// Length of the sequence that starts with lead, or 0 for a byte that cannot start one.
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

constexpr bool is_continuation(unsigned char byte) noexcept {
  return (byte & 0xC0) == 0x80;
}

// Checks one multi-byte sequence at p (length bytes are available); rules out overlong forms,
// surrogates and code points past U+10FFFF through the range allowed for the second byte.
bool valid_sequence(const unsigned char* p, std::size_t length) noexcept {
  unsigned char second_low = 0x80;
  unsigned char second_high = 0xBF;
  if (p[0] == 0xE0) {
    second_low = 0xA0;
  } else if (p[0] == 0xED) {
    second_high = 0x9F;
  } else if (p[0] == 0xF0) {
    second_low = 0x90;
  } else if (p[0] == 0xF4) {
    second_high = 0x8F;
  }
  if (p[1] < second_low || p[1] > second_high) {
    return false;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if (!is_continuation(p[i])) {
      return false;
    }
  }
  return true;
}

} // namespace

bool is_valid_utf8(std::string_view bytes) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t left = bytes.size();
  while (left > 0) {
    if (left >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      if ((word & high_bits) == 0) {
        p += 8;
        left -= 8;
        continue;
      }
    }
    if (*p < 0x80) {
      ++p;
      --left;
      continue;
    }
    const std::size_t length = sequence_length(*p);
    if (length == 0 || length > left || !valid_sequence(p, length)) {
      return false;
    }
    p += length;
    left -= length;
  }
  return true;
}

} // namespace korvane::text
