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
constexpr std::size_t exact_power_count = 2 * largest_exact_power + 1;

// Entry q + 10 for q in [-10, 10]: w * 10^q = (w * multiplier) / divisor, where one of the two
// is 1 and the other 10^|q|, so that exactly one of the operations rounds, for any sign of q.
constexpr std::array<float, exact_power_count> multipliers = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1e1F, 1e2F, 1e3F, 1e4F, 1e5F, 1e6F, 1e7F, 1e8F, 1e9F, 1e10F};
constexpr std::array<float, exact_power_count> divisors = {
    1e10F, 1e9F, 1e8F, 1e7F, 1e6F, 1e5F, 1e4F, 1e3F, 1e2F, 1e1F, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

// Beyond 10^10 part of the power can move into the mantissa, while the product stays exact.
constexpr int largest_shifted_power = 17;
constexpr std::array<std::uint64_t, largest_shifted_power - largest_exact_power + 1>
    integer_powers_of_ten = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

rounding_decision exact(float value) noexcept {
  return decided_bits(std::bit_cast<std::uint32_t>(value));
}

} // namespace

rounding_decision clinger_fast_path(std::uint64_t mantissa, std::int64_t power_of_ten) noexcept {
  // The mantissa first: a column's digit count is fixed, its powers of ten vary.
  if (mantissa > largest_exact_integer) {
    return undecided;
  }
  const auto index = static_cast<std::uint64_t>(power_of_ten + largest_exact_power);
  if (index < exact_power_count) {
    // Exact operands, so the one operation that is not by 1 rounds correctly; no branch on the
    // sign of the power.
    return exact(static_cast<float>(mantissa) * multipliers[index] / divisors[index]);
  }
  if (power_of_ten < 0 || power_of_ten > largest_shifted_power) {
    return undecided;
  }
  const std::uint64_t shifted =
      mantissa *
      integer_powers_of_ten[static_cast<std::size_t>(power_of_ten - largest_exact_power)];
  if (shifted > largest_exact_integer) {
    return undecided;
  }
  return exact(static_cast<float>(shifted) * 1e10F);
}

} // namespace korvane::text::detail
