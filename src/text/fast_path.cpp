// src/text/fast_path.cpp: Clinger's exact fast path for short mantissas and small powers of ten
#include "fast_path.h"

#include <array>
#include <bit>

namespace korvane::text::detail {
namespace {

// A float holds every integer up to 2^24 exactly.
constexpr std::uint64_t largest_exact_integer = std::uint64_t{1} << 24;

// 10^q = 5^q * 2^q is exact in a float while 5^q < 2^24, that is for q <= 10.
constexpr int largest_exact_power = 10;
constexpr std::array<float, largest_exact_power + 1> exact_powers_of_ten = {
    1e0F, 1e1F, 1e2F, 1e3F, 1e4F, 1e5F, 1e6F, 1e7F, 1e8F, 1e9F, 1e10F};

// Beyond 10^10 part of the power can move into the mantissa, while the product stays exact.
constexpr int largest_shifted_power = 17;
constexpr std::array<std::uint64_t, largest_shifted_power - largest_exact_power + 1>
    integer_powers_of_ten = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

rounding_decision exact(float value) noexcept {
  return decided_bits(std::bit_cast<std::uint32_t>(value));
}

} // namespace

rounding_decision clinger_fast_path(std::uint64_t mantissa, std::int64_t power_of_ten) noexcept {
  if (mantissa > largest_exact_integer || power_of_ten < -largest_exact_power ||
      power_of_ten > largest_shifted_power) {
    return undecided;
  }
  // Both operands are exact, so the one IEEE multiplication or division rounds correctly. Both
  // are computed and one is picked: the sign of the power is unpredictable from field to field.
  if (power_of_ten <= largest_exact_power) {
    const bool negative = power_of_ten < 0;
    const float power =
        exact_powers_of_ten[static_cast<std::size_t>(negative ? -power_of_ten : power_of_ten)];
    const auto w = static_cast<float>(mantissa);
    const float quotient = w / power;
    const float product = w * power;
    return exact(negative ? quotient : product);
  }
  const std::uint64_t shifted =
      mantissa *
      integer_powers_of_ten[static_cast<std::size_t>(power_of_ten - largest_exact_power)];
  if (shifted > largest_exact_integer) {
    return undecided;
  }
  return exact(static_cast<float>(shifted) * exact_powers_of_ten[largest_exact_power]);
}

} // namespace korvane::text::detail
