// src/text/binary32.h: the layout of a 32-bit IEEE 754 float, for assembling its bits
#pragma once

#include <cstdint>

namespace korvane::text::detail {

/// Fraction bits of a float; a normal significand has one more, implicit.
inline constexpr int fraction_bits = 23;
/// Binary exponent of the smallest normal float, which subnormals share.
inline constexpr int smallest_exponent = -126;
/// Binary exponent of the largest finite float.
inline constexpr int largest_exponent = 127;
/// Bits of positive infinity.
inline constexpr std::uint32_t infinity_bits = 0x7F800000;
/// Bits of positive zero.
inline constexpr std::uint32_t zero_bits = 0;

/// What a stage of the conversion found: the bits of the nearest float, or no decision.
struct rounding_decision {
  /// The float's bits, when decided.
  std::uint32_t bits;
  /// False when the stage cannot tell the nearest float.
  bool decided;
};

/// A decision for these bits.
constexpr rounding_decision decided_bits(std::uint32_t bits) noexcept {
  return {bits, true};
}

/// The stage cannot tell.
inline constexpr rounding_decision undecided{0, false};

/// Bits of significand * 2^(exponent - 23), for exponent in [-126, 127] and significand <= 2^24,
/// at least 2^23 above exponent -126; a significand of 2^24 carries into the next binade.
constexpr std::uint32_t assemble(int exponent, std::uint32_t significand) noexcept {
  // Biased exponent field minus one, plus the significand whose implicit bit adds the one back.
  return (static_cast<std::uint32_t>(exponent - smallest_exponent) << fraction_bits) + significand;
}

} // namespace korvane::text::detail
