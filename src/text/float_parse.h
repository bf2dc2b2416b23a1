// src/text/float_parse.h: correctly rounded conversion of decimal text to a 32-bit float
#pragma once

#include <cstdint>
#include <string_view>

namespace korvane::text {

/// Why a text is not a float: ParseFloatError's kind, or none for success.
enum class float_error : std::uint8_t { none, empty, invalid };

/// The value of a conversion, or the reason it failed.
struct f32_result {
  float value;
  float_error error;

  explicit operator bool() const noexcept { return error == float_error::none; }
};

/// Converts a decimal form or "inf"/"infinity"/"nan" (any case, optional sign) to the nearest
/// float, ties to even; never allocates, never throws.
[[nodiscard]] f32_result parse_f32(std::string_view text) noexcept;

/// "ParseFloatError { kind: Empty }" or "ParseFloatError { kind: Invalid }".
[[nodiscard]] std::string_view describe(float_error error) noexcept;

} // namespace korvane::text
