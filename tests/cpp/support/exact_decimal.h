// tests/cpp/support/exact_decimal.h: exact decimal expansions of binary fractions
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::testing {

/// A decimal number: its digits read as an integer, times 10^exponent.
struct exact_decimal {
  /// Decimal digits, the first nonzero unless the number is zero.
  std::string digits;
  /// Power of ten that scales the digits.
  int exponent;
};

/// significand * 2^binary_exponent exactly; every such number has a finite expansion.
[[nodiscard]] exact_decimal expand_binary(std::uint64_t significand, int binary_exponent);

/// The number with more digits after its last one, the same digits in a lower place.
[[nodiscard]] exact_decimal append_digits(exact_decimal number, std::string_view more);

/// The number one unit of its last digit smaller; digits must not be zero.
[[nodiscard]] exact_decimal minus_last_unit(exact_decimal number);

/// The text digits "e" exponent, a decimal form of the number.
[[nodiscard]] std::string to_text(const exact_decimal& number);

} // namespace korvane::testing
