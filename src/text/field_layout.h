// src/text/field_layout.h: the layout the simulation code writes its fields in, read with
// constant shifts, and its value from one multiplication in double precision
#pragma once

#include "binary32.h"
#include "eight_digits.h"
#include "eisel_lemire.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace korvane::text::detail {

/// Sixteen bytes of text, first byte lowest.
using uint128 = unsigned __int128;

/// The longest field the fast path reads: two 8-byte loads.
inline constexpr unsigned longest_field = 16;

/// "E±dd": the exponent part when the field has one.
inline constexpr unsigned exponent_part_length = 4;

/// Every integer up to 2^53 is a double.
inline constexpr std::uint64_t largest_exact_double_integer = std::uint64_t{1} << 53;
/// Powers of ten from 10^-22 to 10^22 are doubles, and near-midpoint products by them are
/// compared exactly.
inline constexpr int largest_exact_power = 22;
/// The powers of ten by which some mantissa up to 2^53 lands among the normal floats.
inline constexpr int smallest_scaled_power = -53;
inline constexpr int largest_scaled_power = 38;
/// Entry q + 53: the double nearest to 10^q.
inline constexpr std::array<double, largest_scaled_power - smallest_scaled_power + 1>
    double_powers_of_ten = {
        1e-53, 1e-52, 1e-51, 1e-50, 1e-49, 1e-48, 1e-47, 1e-46, 1e-45, 1e-44, 1e-43, 1e-42,
        1e-41, 1e-40, 1e-39, 1e-38, 1e-37, 1e-36, 1e-35, 1e-34, 1e-33, 1e-32, 1e-31, 1e-30,
        1e-29, 1e-28, 1e-27, 1e-26, 1e-25, 1e-24, 1e-23, 1e-22, 1e-21, 1e-20, 1e-19, 1e-18,
        1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,
        1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,
        1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,
        1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,  1e27,  1e28,  1e29,  1e30,
        1e31,  1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38};

/// A double's 29 fraction bits below a float's 23.
inline constexpr std::uint64_t below_float_precision = (std::uint64_t{1} << 29) - 1;
/// Those bits of a double that is exactly a float midpoint: one and 28 zeros.
inline constexpr std::uint64_t float_midpoint_pattern = std::uint64_t{1} << 28;
/// Units in the last place of a double within which a float midpoint leaves the decision to
/// the exact methods.
inline constexpr std::uint64_t midpoint_guard = 4;

/// A float's sign.
inline constexpr std::uint32_t sign_bit = std::uint32_t{1} << 31;

/// Bytes [0, count) of a 128-bit window, count at most 16.
constexpr uint128 low_bytes(unsigned count) noexcept {
  return count == 0 ? 0 : ~uint128{0} >> (128 - 8 * count);
}

/// 10^exponent, for exponent at most 19.
constexpr std::uint64_t power_of_ten(unsigned exponent) noexcept {
  return exponent == 0 ? 1 : 10 * power_of_ten(exponent - 1);
}

/// Sixteen bytes of text in two words, first byte lowest: bytes 0 to 7, then bytes 8 to 15.
struct text_words {
  std::uint64_t low;
  std::uint64_t high;
};

/// The field's bytes, zeros beyond them: two overlapping 8-byte loads, so that nothing outside
/// the field is read.
template <unsigned size>
inline text_words load_words(const char* field) noexcept {
  static_assert(size >= 8 && size <= longest_field);
  std::uint64_t head;
  std::uint64_t tail;
  std::memcpy(&head, field, sizeof head);
  std::memcpy(&tail, field + size - sizeof tail, sizeof tail);
  // tail's byte k is field byte size - 8 + k, which belongs at byte size - 16 + k of the high
  // word: the bytes that head already holds drop out below.
  constexpr unsigned dropped_bits = 8 * (longest_field - size);
  return {head, dropped_bits == 64 ? 0 : tail >> dropped_bits};
}

/// The field's bytes as one 128-bit window.
template <unsigned size>
inline uint128 load_window(const char* field) noexcept {
  const text_words words = load_words<size>(field);
  return (uint128{words.high} << 64) | words.low;
}

/// Byte i of the two words.
constexpr unsigned byte_at(text_words words, unsigned i) noexcept {
  return static_cast<unsigned char>(i < 8 ? words.low >> (8 * i) : words.high >> (8 * (i - 8)));
}

/// Byte i alone, as a mask.
constexpr uint128 byte_bits(unsigned i) noexcept {
  return uint128{0xFF} << (8 * i);
}

/// 5^q for q from 0 to 22, the powers a near-midpoint comparison scales by.
inline constexpr std::array<std::uint64_t, largest_exact_power + 1> powers_of_five = [] {
  std::array<std::uint64_t, largest_exact_power + 1> powers{};
  std::uint64_t power = 1;
  for (std::uint64_t& entry : powers) {
    entry = power;
    power *= 5;
  }
  return powers;
}();

// Where x = w * 10^q lies against the float midpoint m = M * 2^E (M odd, 25 bits) given by the
// bits of m as a double, decided on integers: x = w * 5^q * 2^q, so with a = w * 5^max(q, 0)
// and b = M * 5^max(-q, 0), x compares with m as a compares with b * 2^(E - q). Both sides lie
// near x scaled by at most 2^77 * 5^22 / 2^54 and fit in 128 bits. Below m the float is the one
// under it, above m the one over it, at m the one with the even significand.
inline rounding_decision decide_at_midpoint(std::uint64_t mantissa, int power_of_ten,
                                            std::uint64_t midpoint_bits) noexcept {
  constexpr int double_fraction_bits = 52;
  constexpr int double_exponent_bias = 1075;
  const auto biased = static_cast<int>(midpoint_bits >> double_fraction_bits);
  const std::uint64_t significand =
      (midpoint_bits & ((std::uint64_t{1} << double_fraction_bits) - 1)) |
      (std::uint64_t{1} << double_fraction_bits);
  const int exponent = biased - double_exponent_bias + 28;
  const uint128 a = uint128{mantissa} *
                    powers_of_five[static_cast<std::size_t>(power_of_ten > 0 ? power_of_ten : 0)];
  const uint128 b = uint128{significand >> 28} *
                    powers_of_five[static_cast<std::size_t>(power_of_ten < 0 ? -power_of_ten : 0)];
  const int shift = exponent - power_of_ten;
  const uint128 left = shift < 0 ? a << -shift : a;
  const uint128 right = shift < 0 ? b : b << shift;
  const std::uint32_t below = std::bit_cast<std::uint32_t>(
      static_cast<float>(std::bit_cast<double>(midpoint_bits & ~below_float_precision)));
  const bool up = left > right || (left == right && (below & 1) != 0);
  return decided_bits(below + static_cast<std::uint32_t>(up));
}

// One multiplication in double precision, then one rounding to float.
//
// With w <= 2^53, w is a double, and P, the double nearest to 10^q, is a normal double within a
// factor (1 + e1), |e1| <= 2^-53, of 10^q; the product d = fl(w * P) is within (1 + e2) of w * P.
// So d = x (1 + e1)(1 + e2) for x = w * 10^q, and |d - x| <= |x| (2^-52 + 2^-106), which is less
// than 2.01 units in the last place of d. When 2^-125 <= d < 2^127, x lies among the normal
// floats too, where every float midpoint m is a double (25 significant bits) whose 29 bits below
// the float's precision are 1 followed by 28 zeros; m lies half a float unit, 2^28 double units,
// from the nearest float, so from every power of two: d and m share a binade. If d lies more
// than 4 units from every midpoint, x lies on d's side of each, so between the same two
// midpoints as d: the float nearest to d, (float)d, is the float nearest to x. Within 4 units of
// a midpoint, x is compared with it exactly where 10^q is a double; elsewhere, and for d outside
// that range, the decision is left to the slower methods. Zero is zero.
inline rounding_decision scaled_in_double(std::uint64_t mantissa, int power_of_ten) noexcept {
  if (mantissa > largest_exact_double_integer || power_of_ten < smallest_scaled_power ||
      power_of_ten > largest_scaled_power) {
    return undecided;
  }
  const double d =
      static_cast<double>(mantissa) *
      double_powers_of_ten[static_cast<std::size_t>(power_of_ten - smallest_scaled_power)];
  const auto bits = std::bit_cast<std::uint64_t>(d);
  // Biased exponents of 2^-125 and 2^126, the binades where (float)d can be trusted.
  constexpr std::uint64_t lowest_binade = 1023 - 125;
  constexpr std::uint64_t highest_binade = 1023 + 126;
  // Unsigned, x - low <= high - low exactly when low <= x <= high.
  if ((bits >> 52) - lowest_binade > highest_binade - lowest_binade) {
    return mantissa == 0 ? decided_bits(0) : undecided;
  }
  if ((bits & below_float_precision) - float_midpoint_pattern + midpoint_guard <=
      2 * midpoint_guard) {
    if (power_of_ten < -largest_exact_power || power_of_ten > largest_exact_power) {
      return undecided;
    }
    return decide_at_midpoint(mantissa, power_of_ten,
                              (bits & ~below_float_precision) | float_midpoint_pattern);
  }
  return decided_bits(std::bit_cast<std::uint32_t>(static_cast<float>(d)));
}

/// The float nearest to mantissa * 10^power_of_ten, its sign flipped when negative: one
/// multiplication in double where it decides, else Eisel–Lemire.
[[gnu::always_inline]] inline rounding_decision
nearest_float(std::uint64_t mantissa, int power_of_ten, bool negative) noexcept {
  rounding_decision value = scaled_in_double(mantissa, power_of_ten);
  if (!value.decided) {
    value = eisel_lemire(mantissa, power_of_ten);
  }
  // The sign comes last, as in the general conversion: "-0" is minus zero.
  value.bits ^= negative ? sign_bit : 0;
  return value;
}

// The layout the simulation code writes, " d.dddddE+dd" at width 12 and " d.ddddddddE-dd" at
// width 15: a space or sign, one digit, the point, size - 7 digits, "E" or "e", a sign, two
// digits. Every byte's place is known, so the test and the value take constant shifts only.
template <unsigned size>
rounding_decision simulation_layout(text_words words) noexcept {
  constexpr unsigned fraction_digits = size - 7;
  constexpr unsigned mark = size - exponent_part_length;
  // The four bytes that are no digits, and the bytes beyond the field, read as '0'. The masks
  // are worked out on 128 bits when compiling; the field is handled in its two words, which
  // keeps it in registers.
  constexpr uint128 not_digits =
      byte_bits(0) | byte_bits(2) | byte_bits(mark) | byte_bits(mark + 1) | ~low_bytes(size);
  constexpr auto low_not_digits = static_cast<std::uint64_t>(not_digits);
  constexpr auto high_not_digits = static_cast<std::uint64_t>(not_digits >> 64);
  const std::uint64_t low_digits = (words.low & ~low_not_digits) | (ascii_zeros & low_not_digits);
  const std::uint64_t high_digits =
      (words.high & ~high_not_digits) | (ascii_zeros & high_not_digits);
  const unsigned lead = byte_at(words, 0);
  const unsigned exponent_sign = byte_at(words, mark + 1);
  if ((non_digit_bytes(low_digits) | non_digit_bytes(high_digits)) != 0 ||
      byte_at(words, 2) != '.' || (byte_at(words, mark) | 0x20) != 'e' ||
      (exponent_sign != '+' && exponent_sign != '-') ||
      (lead != ' ' && lead != '-' && lead != '+')) {
    return undecided;
  }
  // The digits before the exponent part, the point read as a 0 digit, give first * 10^(f + 1)
  // + fraction; the mantissa is first * 10^f + fraction. Moved up so that the last of them is
  // byte 15, they are two groups of eight.
  constexpr uint128 mantissa_bytes = low_bytes(mark);
  const std::uint64_t low_values =
      (low_digits - ascii_zeros) & static_cast<std::uint64_t>(mantissa_bytes);
  const std::uint64_t high_values =
      (high_digits - ascii_zeros) & static_cast<std::uint64_t>(mantissa_bytes >> 64);
  constexpr unsigned shift = 8 * (longest_field - mark);
  std::uint64_t leading_eight = 0;
  std::uint64_t trailing_eight = 0;
  if constexpr (shift >= 64) {
    trailing_eight = low_values << (shift - 64);
  } else {
    leading_eight = low_values << shift;
    trailing_eight = (high_values << shift) | (low_values >> (64 - shift));
  }
  const std::uint64_t with_point_as_zero =
      sixteen_digit_values_value(leading_eight, trailing_eight);
  const std::uint64_t first = byte_at(words, 1) - '0';
  const std::uint64_t mantissa = with_point_as_zero - 9 * first * power_of_ten(fraction_digits);
  const int exponent = static_cast<int>(byte_at(words, mark + 2) - '0') * 10 +
                       static_cast<int>(byte_at(words, mark + 3) - '0');
  return nearest_float(
      mantissa, (exponent_sign == '-' ? -exponent : exponent) - static_cast<int>(fraction_digits),
      lead == '-');
}

} // namespace korvane::text::detail
