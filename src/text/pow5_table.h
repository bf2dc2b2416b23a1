// src/text/pow5_table.h: 128-bit significands of the powers of five
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvane::text::detail {

/// The leading 128 bits of a power of five, truncated, as two 64-bit words.
struct power_of_five {
  /// Bits 127 to 64; bit 127 is always set.
  std::uint64_t high;
  /// Bits 63 to 0.
  std::uint64_t low;
};

/// Exponent q of the first entry, 5^-342.
inline constexpr int smallest_power_of_five = -342;
/// Exponent q of the last entry, 5^308.
inline constexpr int largest_power_of_five = 308;
/// Number of entries, one per exponent.
inline constexpr std::size_t power_of_five_count =
    largest_power_of_five - smallest_power_of_five + 1;

/// Entry q + 342 holds floor(5^q * 2^(127 - floor(log2(5^q)))); exact for 0 <= q <= 55.
extern const std::array<power_of_five, power_of_five_count> POWER_OF_FIVE_128;

/// floor(log2(5^q)) for q in the table's range, as 152170 * q >> 16 (152170 / 2^16 ~ log2 5).
constexpr int floor_log2_pow5(int q) noexcept {
  return (152170 * q) >> 16;
}

} // namespace korvane::text::detail
