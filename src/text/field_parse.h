// src/text/field_parse.h: a data field's value, with a fast path for the shapes plot files hold
#pragma once

#include "binary32.h"
#include "field_layout.h"
#include "float_parse.h"

#include <bit>
#include <string_view>

namespace korvane::text {

namespace detail {

/// The value of an untrimmed field of 8 to 16 bytes shaped "[spaces][sign]digits[.digits]" with
/// an optional "E±dd" ending the field, when the shape and the value can be decided cheaply;
/// undecided for every other field, which the general conversion then settles.
[[nodiscard]] rounding_decision field_fast_path(std::string_view field) noexcept;

/// The decided value, or the general conversion's when the decision is left open.
[[nodiscard]] f32_result settle(std::string_view field, rounding_decision decision) noexcept;

/// parse_field for a field the simulation's layout has already declined: the other shapes, then
/// the general conversion.
[[nodiscard]] f32_result parse_field_past_layout(std::string_view field) noexcept;

} // namespace detail

/// The value of a data field, trimmed and converted exactly as parse_f32(trim_field(field)).
[[nodiscard]] f32_result parse_field(std::string_view field) noexcept;

/// parse_field for a field of a width known when compiling, which the simulation's layout is
/// tried on first, inline.
template <unsigned width>
[[nodiscard]] f32_result parse_field_of_width(const char* field) noexcept {
  if constexpr (width >= 8 && width <= detail::longest_field) {
    const detail::rounding_decision value =
        detail::simulation_layout<width>(detail::load_words<width>(field));
    if (value.decided) {
      return {std::bit_cast<float>(value.bits), float_error::none};
    }
    return detail::parse_field_past_layout({field, width});
  } else {
    return parse_field({field, width});
  }
}

} // namespace korvane::text
