// src/text/decimal_fallback.cpp: exact conversion of any decimal form by Simple Decimal Conversion
#include "decimal_fallback.h"

#include "binary32.h"
#include "significant_digits.h"

#include <algorithm>
#include <array>

namespace korvane::text::detail {
namespace {

// The decimal expansion of a float midpoint has at most 113 significant digits, so 768 digits
// and a flag for any nonzero digit beyond them order the value against every midpoint exactly.
constexpr std::uint32_t max_digits = 768;

// A shift moves up to 60 bits at once: 9 * 2^60 plus a carry still fits 64 bits.
constexpr int max_shift = 60;

// 0.d1 d2 ... dn * 10^point; when truncated is set, plus a positive part that the dropped
// digits stood for, some 750 places below the leading digit and so beyond any midpoint's digits.
struct decimal {
  std::array<std::uint8_t, max_digits> digits;
  std::uint32_t count = 0;
  std::int32_t point = 0;
  bool truncated = false;
};

void trim_trailing_zeros(decimal& d) noexcept {
  while (d.count > 0 && d.digits[d.count - 1] == 0) {
    --d.count;
  }
}

void append_digit(decimal& d, std::uint8_t digit) noexcept {
  if (d.count < max_digits) {
    d.digits[d.count++] = digit;
  } else if (digit != 0) {
    d.truncated = true;
  }
}

// Divides by 2^shift: long division from the leading digit.
void shift_right(decimal& d, int shift) noexcept {
  std::uint64_t remainder = 0;
  std::uint32_t read = 0;
  // Gather leading digits until the quotient's first digit is nonzero; it is then one digit.
  while ((remainder >> shift) == 0) {
    remainder = remainder * 10 + (read < d.count ? d.digits[read] : 0);
    ++read;
  }
  d.point -= static_cast<std::int32_t>(read) - 1;
  const std::uint64_t mask = (std::uint64_t{1} << shift) - 1;
  std::uint32_t written = 0;
  for (; read < d.count; ++read) {
    d.digits[written++] = static_cast<std::uint8_t>(remainder >> shift);
    remainder = (remainder & mask) * 10 + d.digits[read];
  }
  // Every step multiplies the remainder by 2, so it runs out within `shift` more digits.
  d.count = written;
  while (remainder != 0) {
    append_digit(d, static_cast<std::uint8_t>(remainder >> shift));
    remainder = (remainder & mask) * 10;
  }
  trim_trailing_zeros(d);
}

// Multiplies by 2^shift: digit by digit from the last, into a buffer read back reversed.
void shift_left(decimal& d, int shift) noexcept {
  std::array<std::uint8_t, max_digits + 20> reversed;
  std::uint32_t produced = 0;
  std::uint64_t carry = 0;
  for (std::uint32_t i = d.count; i-- > 0;) {
    const std::uint64_t product = (std::uint64_t{d.digits[i]} << shift) + carry;
    reversed[produced++] = static_cast<std::uint8_t>(product % 10);
    carry = product / 10;
  }
  for (; carry != 0; carry /= 10) {
    reversed[produced++] = static_cast<std::uint8_t>(carry % 10);
  }
  d.point += static_cast<std::int32_t>(produced - d.count);
  d.count = 0;
  while (produced > 0) {
    append_digit(d, reversed[--produced]);
  }
  trim_trailing_zeros(d);
}

// 2^shift grows no faster than 8^shift, so a shift of 3 bits per decimal place keeps the value
// within the intended range.
int shift_for_places(std::int32_t places) noexcept {
  return static_cast<int>(std::min(3 * places, std::int32_t{max_shift}));
}

// The integer nearest to the value, ties to even; the value is below 2^25.
std::uint32_t round_to_integer(const decimal& d) noexcept {
  std::uint32_t integer = 0;
  for (std::int32_t i = 0; i < d.point; ++i) {
    const auto place = static_cast<std::uint32_t>(i);
    integer = integer * 10 + (place < d.count ? d.digits[place] : 0);
  }
  const auto first_fraction = static_cast<std::uint32_t>(d.point);
  if (first_fraction >= d.count) {
    return integer; // no fraction, or only a truncated part far below one half
  }
  const std::uint8_t digit = d.digits[first_fraction];
  const bool beyond_half = first_fraction + 1 < d.count || d.truncated;
  if (digit > 5 || (digit == 5 && (beyond_half || (integer & 1) != 0))) {
    ++integer;
  }
  return integer;
}

// Loads the significant digits; false when there are none.
bool load_digits(const decimal_form& form, decimal& d) noexcept {
  std::int64_t significant = 0;
  for_each_significant_digit(form, [&](char c) {
    ++significant;
    append_digit(d, static_cast<std::uint8_t>(c - '0'));
  });
  trim_trailing_zeros(d);
  if (d.count == 0) {
    return false;
  }
  // The digits read as 0.d1 d2 ... place the point after all of them, then the exponents apply.
  const std::int64_t point =
      significant + form.exponent - static_cast<std::int64_t>(form.fraction_digits.size());
  // At 10^39 or above every float is exceeded; below 10^-46 everything rounds to zero.
  d.point = static_cast<std::int32_t>(std::clamp<std::int64_t>(point, -47, 41));
  return true;
}

} // namespace

std::uint32_t decimal_fallback(const decimal_form& form) noexcept {
  decimal d;
  if (!load_digits(form, d) || d.point < -45) {
    return zero_bits;
  }
  if (d.point > 39) {
    return infinity_bits;
  }
  // Bring the value into [1/2, 1), keeping value * 2^binary_point equal to the original.
  int binary_point = 0;
  while (d.point > 0) {
    const int shift = d.point == 1 ? 1 : shift_for_places(d.point - 1);
    shift_right(d, shift);
    binary_point += shift;
  }
  while (d.point < 0) {
    const int shift = shift_for_places(-d.point);
    shift_left(d, shift);
    binary_point -= shift;
  }
  while (d.digits[0] < 5) {
    shift_left(d, 1);
    binary_point -= 1;
  }
  // The original lies in [2^(binary_point - 1), 2^binary_point).
  const int binade = binary_point - 1;
  if (binade > largest_exponent) {
    return infinity_bits;
  }
  const int exponent = std::max(binade, smallest_exponent);
  // Scale so that one unit is the float's last significand bit, 2^(exponent - 23).
  const int scale = binary_point - (exponent - fraction_bits);
  if (scale < 0) {
    return zero_bits; // below a quarter unit
  }
  if (scale > 0) {
    shift_left(d, scale);
  }
  return assemble(exponent, round_to_integer(d));
}

} // namespace korvane::text::detail
