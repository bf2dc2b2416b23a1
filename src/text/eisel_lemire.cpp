// src/text/eisel_lemire.cpp: the Eisel–Lemire conversion with 128-bit powers of five
#include "eisel_lemire.h"

#include "binary32.h"
#include "pow5_table.h"

#include <algorithm>
#include <bit>

namespace korvane::text::detail {
namespace {

using uint128 = unsigned __int128;

// Any mantissa below 10^19 times 10^-65 is below 10^-46, under half the smallest subnormal
// (2^-150 ~ 7.0e-46); any nonzero mantissa times 10^39 is beyond the largest float.
constexpr std::int64_t smallest_nonzero_power = -64;
constexpr std::int64_t largest_finite_power = 38;

// The table entries for 0 <= q <= 55 are exact: 5^55 < 2^128.
constexpr std::int64_t largest_exact_power_of_five = 55;

constexpr std::uint64_t low_word(uint128 value) noexcept {
  return static_cast<std::uint64_t>(value);
}
constexpr std::uint64_t high_word(uint128 value) noexcept {
  return static_cast<std::uint64_t>(value >> 64);
}

// The 192-bit product of a normalized mantissa and a table entry, as three words.
struct product192 {
  std::uint64_t high;
  std::uint64_t middle;
  std::uint64_t low;
};

product192 multiply(std::uint64_t mantissa, const power_of_five& power) noexcept {
  const uint128 upper = static_cast<uint128>(mantissa) * power.high;
  const uint128 lower = static_cast<uint128>(mantissa) * power.low;
  const uint128 middle = static_cast<uint128>(low_word(upper)) + high_word(lower);
  return {high_word(upper) + high_word(middle), low_word(middle), low_word(lower)};
}

// Rounds T, known only as x <= T < x + w (T = x when exact), to the float whose last
// significand bit is bit dropped_bits of the high word, with words wide enough for that bit.
template <typename word>
rounding_decision round_product(const product192& x, std::uint64_t w, bool exact, int exponent,
                                int dropped_bits) noexcept {
  const word high = x.high;
  auto significand = static_cast<std::uint32_t>(high >> dropped_bits);
  const word half = word{1} << (dropped_bits - 1);
  const word rest = high & ((word{1} << dropped_bits) - 1);
  // x below half but x + w beyond it leaves the rounding open.
  if (!exact && rest == half - 1 && x.middle == ~std::uint64_t{0} && x.low > 0 - w) {
    return undecided;
  }
  // Above half rounds up; so does exactly half unless T is exactly x, a tie that goes to the
  // even significand. Computed without branches, as the dropped bits are random.
  const bool tie = exact & (x.middle == 0) & (x.low == 0);
  significand += static_cast<std::uint32_t>((rest > half) |
                                            ((rest == half) & (!tie | ((significand & 1) != 0))));
  return decided_bits(assemble(exponent, significand));
}

} // namespace

rounding_decision eisel_lemire(std::uint64_t mantissa, std::int64_t power_of_ten) noexcept {
  if (mantissa == 0 || power_of_ten < smallest_nonzero_power) {
    return decided_bits(zero_bits);
  }
  if (power_of_ten > largest_finite_power) {
    return decided_bits(infinity_bits);
  }
  const int q = static_cast<int>(power_of_ten);
  const int leading_zeros = std::countl_zero(mantissa);
  const std::uint64_t w = mantissa << leading_zeros;
  const product192 x =
      multiply(w, POWER_OF_FIVE_128[static_cast<std::size_t>(q - smallest_power_of_five)]);

  // With P(q) = 5^q * 2^(127 - floor(log2 5^q)) and the entry p <= P(q) < p + 1, the value is
  // w * 10^q * 2^-lz = T * 2^e0 for T = w * P(q), and x <= T < x + w (T = x when p is exact).
  const int e0 = q + floor_log2_pow5(q) - 127 - leading_zeros;
  // w >= 2^63 and p >= 2^127, so x >= 2^190: its leading bit is bit 62 or 63 of the high word.
  const int binade = 128 + 63 - std::countl_zero(x.high) + e0;
  if (binade > largest_exponent) {
    return decided_bits(infinity_bits);
  }
  const int exponent = std::max(binade, smallest_exponent);
  // The float's last significand bit weighs 2^(exponent - 23): the high word's bits below it,
  // 39 or 40 for normal values, go into the rounding.
  const int dropped_bits = exponent - fraction_bits - e0 - 128;
  if (dropped_bits > 65) {
    // Half a unit in the last place is 2^(dropped_bits + 127) >= 2^193 > x + w > T.
    return decided_bits(zero_bits);
  }
  const bool exact = power_of_ten >= 0 && power_of_ten <= largest_exact_power_of_five;
  // 128-bit arithmetic only for the two deepest subnormal cases.
  return dropped_bits < 64 ? round_product<std::uint64_t>(x, w, exact, exponent, dropped_bits)
                           : round_product<uint128>(x, w, exact, exponent, dropped_bits);
}

} // namespace korvane::text::detail
