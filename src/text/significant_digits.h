// src/text/significant_digits.h: the digits of a decimal form from its first nonzero one on
#pragma once

#include "decimal_form.h"

#include <string_view>

namespace korvane::text::detail {

/// Calls visit with each digit character of the form, integer part then fraction part, passing
/// over the zeros before the first nonzero digit.
template <class Visit>
constexpr void for_each_significant_digit(const decimal_form& form, Visit&& visit) {
  bool leading = true;
  for (const std::string_view part : {form.integer_digits, form.fraction_digits}) {
    for (const char c : part) {
      leading = leading && c == '0';
      if (!leading) {
        visit(c);
      }
    }
  }
}

} // namespace korvane::text::detail
