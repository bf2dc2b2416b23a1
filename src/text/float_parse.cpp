// src/text/float_parse.cpp: decimal text to the nearest 32-bit float, and the failure's wording
#include "float_parse.h"

#include "binary32.h"
#include "decimal_fallback.h"
#include "decimal_form.h"
#include "eight_digits.h"
#include "eisel_lemire.h"
#include "fast_path.h"
#include "significant_digits.h"

#include <bit>
#include <cstring>

namespace korvane::text {
namespace {

using detail::decimal_form;

// The exponent part stops growing once it reaches this; further digits are passed over.
constexpr std::uint32_t exponent_limit = 65536;

constexpr std::uint32_t quiet_nan_bits = 0x7FC00000;

// Clearing bit 5 maps ASCII lower-case letters to upper case.
constexpr unsigned char case_bit = 0x20;

// A negative sign flips bit 31, of zeros, infinities and NaNs too; computed without a branch.
constexpr std::uint32_t with_sign(std::uint32_t bits, bool negative) noexcept {
  return bits ^ (static_cast<std::uint32_t>(negative) << 31);
}

constexpr bool is_digit(char c) noexcept {
  return static_cast<unsigned char>(c - '0') < 10;
}

constexpr std::uint32_t digit_value(char c) noexcept {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(c) - '0');
}

// Where a run of digits ends, and the mantissa with them appended.
struct digit_run {
  const char* end;
  std::uint64_t mantissa;
};

// Appends the digits from p on to the mantissa one by one, wrapping beyond 19 digits.
digit_run accumulate_bytewise(const char* p, const char* end, std::uint64_t mantissa) noexcept {
  for (; p != end && is_digit(*p); ++p) {
    mantissa = mantissa * 10 + digit_value(*p);
  }
  return {p, mantissa};
}

// Appends the digits from p on to the mantissa, wrapping beyond 19 digits: up to eight bytes
// at a time while eight remain, then byte by byte.
digit_run accumulate_digits(const char* p, const char* end, std::uint64_t mantissa) noexcept {
  while (end - p >= 8) {
    std::uint64_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    const int count = detail::leading_digit_count(bytes);
    if (count == 0) {
      return {p, mantissa};
    }
    mantissa = mantissa * detail::digit_scales[static_cast<std::size_t>(count)] +
               detail::leading_digits_value(bytes, count);
    p += count;
    if (count < 8) {
      return {p, mantissa};
    }
  }
  return accumulate_bytewise(p, end, mantissa);
}

// Rereads the digits of a form with more than 19 of them: the first 19 significant ones make
// the mantissa, the others raise the power of ten and, when not all zero, mark it truncated.
void keep_leading_digits(decimal_form& form) noexcept {
  std::uint64_t mantissa = 0;
  int kept = 0;
  std::int64_t dropped = 0;
  bool truncated = false;
  detail::for_each_significant_digit(form, [&](char c) {
    if (kept < detail::max_mantissa_digits) {
      mantissa = mantissa * 10 + digit_value(c);
      ++kept;
    } else {
      ++dropped;
      truncated = truncated || c != '0';
    }
  });
  form.mantissa = mantissa;
  form.power_of_ten += dropped;
  form.truncated = truncated;
}

// Reads the exponent part's digits from p; the value stops changing at 65536.
const char* accumulate_exponent(const char* p, const char* end, std::uint32_t& value) noexcept {
  // The plot files' exponents: two digits that end the field.
  if (end - p == 2 && is_digit(p[0]) && is_digit(p[1])) {
    value = digit_value(p[0]) * 10 + digit_value(p[1]);
    return end;
  }
  for (; p != end && is_digit(*p); ++p) {
    if (value < exponent_limit) {
      value = value * 10 + digit_value(*p);
    }
  }
  return p;
}

// Digits, an optional point and more digits (one at least in all), an optional exponent part:
// the whole text or nothing.
bool scan_decimal(std::string_view text, decimal_form& form) noexcept {
  const char* const end = text.data() + text.size();
  // The integer part is mostly one digit: byte by byte costs less than an eight-byte load.
  const digit_run integer = accumulate_bytewise(text.data(), end, 0);
  form.integer_digits = {text.data(), integer.end};
  const char* p = integer.end;
  std::uint64_t mantissa = integer.mantissa;
  form.fraction_digits = {};
  if (p != end && *p == '.') {
    const digit_run fraction = accumulate_digits(p + 1, end, mantissa);
    form.fraction_digits = {p + 1, fraction.end};
    p = fraction.end;
    mantissa = fraction.mantissa;
  }
  const std::size_t digit_count = form.integer_digits.size() + form.fraction_digits.size();
  if (digit_count == 0) {
    return false;
  }
  std::int64_t exponent = 0;
  if (p != end && (static_cast<unsigned char>(*p) | case_bit) == 'e') {
    if (++p == end) {
      return false;
    }
    // Without a branch: exponent signs vary from field to field.
    const bool negative = *p == '-';
    p += static_cast<std::ptrdiff_t>(negative | (*p == '+'));
    const char* const digits = p;
    std::uint32_t value = 0;
    p = accumulate_exponent(p, end, value);
    if (p == digits) {
      return false;
    }
    // Negated without a branch too: (x ^ -1) + 1 = -x.
    const std::int64_t all_ones_if_negative = -std::int64_t{negative};
    exponent = (std::int64_t{value} ^ all_ones_if_negative) - all_ones_if_negative;
  }
  if (p != end) {
    return false;
  }
  form.exponent = exponent;
  form.mantissa = mantissa;
  form.power_of_ten = exponent - static_cast<std::int64_t>(form.fraction_digits.size());
  form.truncated = false;
  if (digit_count > detail::max_mantissa_digits) {
    keep_leading_digits(form);
  }
  return true;
}

// The text equals the upper-case word once bit 5 of each of its bytes is cleared.
bool is_word(std::string_view text, std::string_view upper_case_word) noexcept {
  if (text.size() != upper_case_word.size()) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & ~case_bit) != upper_case_word[i]) {
      return false;
    }
  }
  return true;
}

// "inf", "infinity" or "nan" in any case.
f32_result special_word(std::string_view text, bool negative) noexcept {
  std::uint32_t bits = 0;
  if (is_word(text, "INF") || is_word(text, "INFINITY")) {
    bits = detail::infinity_bits;
  } else if (is_word(text, "NAN")) {
    bits = quiet_nan_bits;
  } else {
    return {0.0F, float_error::invalid};
  }
  return {std::bit_cast<float>(with_sign(bits, negative)), float_error::none};
}

// The cheapest method that decides: Clinger's fast path, Eisel–Lemire, the exact fallback.
std::uint32_t nearest_float_bits(const decimal_form& form) noexcept {
  const std::uint64_t w = form.mantissa;
  const std::int64_t q = form.power_of_ten;
  if (!form.truncated) {
    if (const auto fast = detail::clinger_fast_path(w, q); fast.decided) {
      return fast.bits;
    }
    if (const auto lemire = detail::eisel_lemire(w, q); lemire.decided) {
      return lemire.bits;
    }
    return detail::decimal_fallback(form);
  }
  // w * 10^q < value < (w + 1) * 10^q: when both bounds round alike, so does the value.
  const auto lower = detail::eisel_lemire(w, q);
  const auto upper = detail::eisel_lemire(w + 1, q);
  if (lower.decided && upper.decided && lower.bits == upper.bits) {
    return lower.bits;
  }
  return detail::decimal_fallback(form);
}

} // namespace

f32_result parse_f32(std::string_view text) noexcept {
  if (text.empty()) {
    return {0.0F, float_error::empty};
  }
  const bool negative = text.front() == '-';
  // Without a branch: whether a field has a sign varies from field to field.
  text.remove_prefix(static_cast<std::size_t>(negative | (text.front() == '+')));
  if (text.empty()) {
    return {0.0F, float_error::invalid};
  }
  decimal_form form;
  if (!scan_decimal(text, form)) {
    return special_word(text, negative);
  }
  return {std::bit_cast<float>(with_sign(nearest_float_bits(form), negative)), float_error::none};
}

std::string_view describe(float_error error) noexcept {
  return error == float_error::empty ? "ParseFloatError { kind: Empty }"
                                     : "ParseFloatError { kind: Invalid }";
}

} // namespace korvane::text
