// src/text/field_parse.cpp: a data field's value, with a fast path for the shapes plot files hold
#include "field_parse.h"

#include "field_layout.h"
#include "trim.h"

#include <array>
#include <bit>
#include <emmintrin.h>
#include <utility>

namespace korvane::text {

namespace detail {
namespace {

// Bits [0, count) of a byte mask, count at most 16.
constexpr unsigned low_bits(unsigned count) noexcept {
  return (1U << count) - 1;
}

__m128i to_vector(uint128 window) noexcept {
  return _mm_set_epi64x(static_cast<long long>(static_cast<std::uint64_t>(window >> 64)),
                        static_cast<long long>(static_cast<std::uint64_t>(window)));
}

uint128 from_vector(__m128i vector) noexcept {
  const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(vector));
  const auto high =
      static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(vector, vector)));
  return (uint128{high} << 64) | low;
}

// One bit per byte of the window: bit i is set when byte i passes the test.
unsigned byte_mask(__m128i test) noexcept {
  return static_cast<unsigned>(_mm_movemask_epi8(test));
}

unsigned bytes_equal(__m128i window, char c) noexcept {
  return byte_mask(_mm_cmpeq_epi8(window, _mm_set1_epi8(c)));
}

// What the classification of a field's bytes found.
struct field_shape {
  /// The digit bytes as their values 0 to 9, every other byte zero.
  uint128 digit_values;
  /// Where the digits and the optional point end: the exponent part's start, or the size.
  unsigned mantissa_end;
  /// Byte mask of the point, zero without one.
  unsigned point;
  /// Digits after the point.
  int fraction_digits;
  /// Value of the exponent part, 0 without one.
  int exponent;
  bool negative;
  bool matched;
};

constexpr field_shape no_match{};

// Tests every byte of the field at once: leading spaces, an optional sign, digits with at most
// one point (one digit at least), and an optional "E±dd" or "e±dd" that ends the field.
template <unsigned size>
field_shape classify(const char* field) noexcept {
  const __m128i window = to_vector(load_window<size>(field));
  const __m128i values = _mm_sub_epi8(window, _mm_set1_epi8('0'));
  // Unsigned, a digit's value is at most 9 and every other byte's more.
  const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values);
  const unsigned digits = byte_mask(is_digit);
  const unsigned points = bytes_equal(window, '.');
  const unsigned minus = bytes_equal(window, '-');
  const unsigned signs = minus | bytes_equal(window, '+');
  // Setting bit 5 maps 'E' to 'e'; no other byte becomes 'e'.
  const unsigned exponent_marks = bytes_equal(_mm_or_si128(window, _mm_set1_epi8(0x20)), 'e');

  field_shape shape{};
  shape.mantissa_end = size;
  if (exponent_marks != 0) {
    const unsigned mark = size - exponent_part_length;
    if (exponent_marks != 1U << mark || (signs & (1U << (mark + 1))) == 0 ||
        ((digits >> (mark + 2)) & 3U) != 3U) {
      return no_match;
    }
    const int value = (field[mark + 2] - '0') * 10 + (field[mark + 3] - '0');
    shape.exponent = (minus & (1U << (mark + 1))) != 0 ? -value : value;
    shape.mantissa_end = mark;
  }
  const auto leading_spaces = static_cast<unsigned>(std::countr_one(bytes_equal(window, ' ')));
  if (leading_spaces >= shape.mantissa_end) {
    return no_match;
  }
  const unsigned sign_length = (signs >> leading_spaces) & 1U;
  shape.negative = ((minus >> leading_spaces) & 1U) != 0;
  const unsigned body = low_bits(shape.mantissa_end) & ~low_bits(leading_spaces + sign_length);
  shape.point = points & body;
  if (((digits | points) & body) != body || (shape.point & (shape.point - 1)) != 0 ||
      (digits & body) == 0) {
    return no_match;
  }
  // Every byte of the body after the point is a digit.
  shape.fraction_digits =
      shape.point == 0 ? 0
                       : static_cast<int>(shape.mantissa_end) - 1 - std::countr_zero(shape.point);
  shape.digit_values = from_vector(_mm_and_si128(values, is_digit));
  shape.matched = true;
  return shape;
}

// The integer that the mantissa's digits spell, the point (a byte mask, or 0) passed over; at
// most 16 digits.
inline std::uint64_t mantissa_value(uint128 digit_values, unsigned point,
                                    unsigned mantissa_end) noexcept {
  if (point != 0) {
    // The point's byte holds zero; the bytes before it move up into its place.
    const uint128 before_point = low_bytes(static_cast<unsigned>(std::countr_zero(point)));
    digit_values = ((digit_values & before_point) << 8) | (digit_values & ~before_point);
  }
  // The last mantissa digit to byte 15; the exponent part's digits leave at the top.
  digit_values <<= 8 * (longest_field - mantissa_end);
  return sixteen_digit_values_value(static_cast<std::uint64_t>(digit_values),
                                    static_cast<std::uint64_t>(digit_values >> 64));
}

// Any shape the classification accepts, at the cost of variable shifts; out of line, so that
// the common layout's code stays small.
template <unsigned size>
[[gnu::noinline]] rounding_decision any_accepted_shape(const char* field) noexcept {
  const field_shape shape = classify<size>(field);
  if (!shape.matched) {
    return undecided;
  }
  return nearest_float(mantissa_value(shape.digit_values, shape.point, shape.mantissa_end),
                       shape.exponent - shape.fraction_digits, shape.negative);
}

// The window holds 8 to 16 bytes: two 8-byte loads that may overlap.
constexpr std::size_t shortest_field = 8;
constexpr std::size_t width_count = longest_field - shortest_field + 1;

// Any shape the classification accepts, the simulation's layout tried first when asked.
template <bool layout_first, unsigned size>
rounding_decision shapes_of_width(const char* field) noexcept {
  if constexpr (layout_first) {
    if (const rounding_decision value = simulation_layout<size>(load_words<size>(field));
        value.decided) {
      return value;
    }
  }
  return any_accepted_shape<size>(field);
}

// One instance a width, so that every shift and mask is a constant; entry i for width 8 + i.
template <bool layout_first, std::size_t... offsets>
constexpr auto by_width(std::index_sequence<offsets...>) noexcept {
  return std::array{
      &shapes_of_width<layout_first, static_cast<unsigned>(shortest_field + offsets)>...};
}

constexpr auto all_shapes_by_width = by_width<true>(std::make_index_sequence<width_count>());
constexpr auto other_shapes_by_width = by_width<false>(std::make_index_sequence<width_count>());

// The table's decision for the field's width; undecided for a width outside the window.
template <class table>
rounding_decision decide_by_width(const table& deciders, std::string_view field) noexcept {
  const std::size_t index = field.size() - shortest_field;
  return index < deciders.size() ? deciders[index](field.data()) : undecided;
}

} // namespace

rounding_decision field_fast_path(std::string_view field) noexcept {
  return decide_by_width(all_shapes_by_width, field);
}

f32_result settle(std::string_view field, rounding_decision decision) noexcept {
  if (decision.decided) {
    return {std::bit_cast<float>(decision.bits), float_error::none};
  }
  return parse_f32(trim_field(field));
}

f32_result parse_field_past_layout(std::string_view field) noexcept {
  return settle(field, decide_by_width(other_shapes_by_width, field));
}

} // namespace detail

f32_result parse_field(std::string_view field) noexcept {
  return detail::settle(field, detail::field_fast_path(field));
}

} // namespace korvane::text
