// src/text/utf8.cpp: UTF-8 validation with a fast path for ASCII runs
#include "utf8.h"

#include <bit>
#include <cstring>
#include <emmintrin.h>

namespace korvane::text {

namespace {

constexpr std::uint64_t high_bits = 0x8080808080808080ULL;

// Checks one multi-byte sequence at p, of which length bytes are available.
bool valid_sequence(const unsigned char* p, std::size_t length) noexcept {
  for (std::size_t i = 1; i < length; ++i) {
    if (!may_follow(p[0], i, p[i])) {
      return false;
    }
  }
  return true;
}

} // namespace

std::size_t ascii_prefix_length(std::string_view bytes) noexcept {
  std::size_t offset = 0;
  // Sixteen bytes at a time: the byte mask holds the high bit of each.
  for (; bytes.size() - offset >= 16; offset += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + offset));
    if (const int high = _mm_movemask_epi8(chunk); high != 0) {
      return offset + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(high)));
    }
  }
  while (offset < bytes.size() && static_cast<unsigned char>(bytes[offset]) < 0x80) {
    ++offset;
  }
  return offset;
}

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
