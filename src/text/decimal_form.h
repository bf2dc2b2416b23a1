// src/text/decimal_form.h: a decimal number as the stages of the float conversion receive it
#pragma once

#include <cstdint>
#include <string_view>

namespace korvane::text::detail {

/// Most significant digits that fit a 64-bit mantissa whatever they are.
inline constexpr int max_mantissa_digits = 19;

/// The digits and exponent of a decimal form, with its leading significant digits as an integer.
struct decimal_form {
  /// Digits before the point, possibly none.
  std::string_view integer_digits;
  /// Digits after the point, possibly none.
  std::string_view fraction_digits;
  /// Value of the exponent part, 0 without one.
  std::int64_t exponent;
  /// The first 19 significant digits (all when there are fewer) read as an integer.
  std::uint64_t mantissa;
  /// The value is mantissa * 10^power_of_ten, plus whatever the truncated digits add.
  std::int64_t power_of_ten;
  /// Nonzero digits follow the mantissa's, so the value lies strictly above mantissa * 10^q.
  bool truncated;
};

} // namespace korvane::text::detail
