// src/text/eight_digits.h: reading up to eight ASCII digits at once from a 64-bit load
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace korvane::text::detail {

static_assert(std::endian::native == std::endian::little, "the first text byte must load lowest");

/// Eight '0' bytes.
inline constexpr std::uint64_t ascii_zeros = 0x3030303030303030;

/// 10^n for n digits, 0 to 8.
inline constexpr std::array<std::uint64_t, 9> digit_scales = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

/// Nonzero high nibbles in the bytes of word that are no ASCII digit, zero in the digits' bytes,
/// as long as every byte before them is a digit.
constexpr std::uint64_t non_digit_bytes(std::uint64_t bytes) noexcept {
  constexpr std::uint64_t high_nibbles = 0xF0F0F0F0F0F0F0F0;
  constexpr std::uint64_t sixes = 0x0606060606060606;
  // A digit byte has the high nibble 3 and keeps it when 6 is added. Only a byte that is no
  // digit can carry into the next, which then no longer matters.
  return ((bytes & high_nibbles) ^ ascii_zeros) | (((bytes + sixes) & high_nibbles) ^ ascii_zeros);
}

/// How many of the eight bytes, first text byte lowest, are ASCII digits before any other byte.
constexpr int leading_digit_count(std::uint64_t bytes) noexcept {
  const std::uint64_t non_digits = non_digit_bytes(bytes);
  return non_digits == 0 ? 8 : std::countr_zero(non_digits) / 8;
}

/// The value of eight digit values 0 to 9, one a byte, first text byte lowest: pairs, then
/// fours, then all eight.
constexpr std::uint64_t eight_digit_values_value(std::uint64_t bytes) noexcept {
  // Byte 2i becomes 10 * d(2i) + d(2i+1); odd bytes become garbage that the masks drop.
  bytes = bytes * 10 + (bytes >> 8);
  constexpr std::uint64_t pairs_0_and_2 = 0x000000FF000000FF;
  // For pairs p0..p3: (p0 + p2 * 2^32) * (100 + 10^6 * 2^32) holds p0 * 10^6 + p2 * 100 from
  // bit 32 up, (p1 + p3 * 2^32) * (1 + 10^4 * 2^32) holds p1 * 10^4 + p3 there.
  const std::uint64_t outer = (bytes & pairs_0_and_2) * (100 + (1000000ULL << 32));
  const std::uint64_t inner = ((bytes >> 16) & pairs_0_and_2) * (1 + (10000ULL << 32));
  return (outer + inner) >> 32;
}

/// The value of sixteen digit values in two words, the leading eight first.
constexpr std::uint64_t sixteen_digit_values_value(std::uint64_t leading,
                                                   std::uint64_t trailing) noexcept {
  return eight_digit_values_value(leading) * 100000000 + eight_digit_values_value(trailing);
}

/// The value of eight ASCII digits, first text byte lowest.
constexpr std::uint64_t eight_digits_value(std::uint64_t bytes) noexcept {
  return eight_digit_values_value(bytes - ascii_zeros);
}

/// The value of the first count bytes, 1 to 8, all ASCII digits.
constexpr std::uint64_t leading_digits_value(std::uint64_t bytes, int count) noexcept {
  if (count == 8) {
    return eight_digits_value(bytes);
  }
  // Move the digits to the top and fill the bytes below with '0', as leading zeros.
  const int shift = 8 * (8 - count);
  return eight_digits_value((bytes << shift) | (ascii_zeros >> (64 - shift)));
}

} // namespace korvane::text::detail
