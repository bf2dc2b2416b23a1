// src/text/float_parse.cpp: decimal text to the nearest 32-bit float, and the failure's wording
#include "float_parse.h"

#include "binary32.h"
#include "decimal_fallback.h"
#include "decimal_form.h"
#include "eisel_lemire.h"
#include "fast_path.h"

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

constexpr bool is_digit(char c) noexcept {
  return static_cast<unsigned char>(c - '0') < 10;
}

constexpr std::uint32_t digit_value(char c) noexcept {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(c) - '0');
}

static_assert(std::endian::native == std::endian::little, "eight-digit loads assume little end");

// Eight bytes, the first text byte lowest, are all ASCII digits: each is 0x3? and stays below
// 0x40 when 6 is added.
constexpr bool is_eight_digits(std::uint64_t bytes) noexcept {
  constexpr std::uint64_t high_nibbles = 0xF0F0F0F0F0F0F0F0;
  constexpr std::uint64_t zeros = 0x3030303030303030;
  constexpr std::uint64_t sixes = 0x0606060606060606;
  return (bytes & high_nibbles) == zeros && ((bytes + sixes) & high_nibbles) == zeros;
}

// The value of eight ASCII digits, the first text byte lowest: pairs, then fours, then eight.
constexpr std::uint64_t eight_digits_value(std::uint64_t bytes) noexcept {
  bytes -= 0x3030303030303030;
  // Byte 2i becomes 10 * d(2i) + d(2i+1); the odd bytes become garbage and are masked away.
  bytes = bytes * 10 + (bytes >> 8);
  constexpr std::uint64_t pairs_0_and_2 = 0x000000FF000000FF;
  // Pairs p0..p3: (p0 + p2 * 2^32) * (100 + 10^6 * 2^32) holds p0 * 10^6 + p2 * 100 at bit 32,
  // (p1 + p3 * 2^32) * (1 + 10^4 * 2^32) holds p1 * 10^4 + p3 there.
  const std::uint64_t outer = (bytes & pairs_0_and_2) * (100 + (1000000ULL << 32));
  const std::uint64_t inner = ((bytes >> 16) & pairs_0_and_2) * (1 + (10000ULL << 32));
  return (outer + inner) >> 32;
}

// Adds the digits from p on to the mantissa (wrapping beyond 19 digits); returns where they end.
const char* accumulate_digits(const char* p, const char* end, std::uint64_t& mantissa) noexcept {
  while (end - p >= 8) {
    std::uint64_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    if (!is_eight_digits(bytes)) {
      break;
    }
    mantissa = mantissa * 100000000 + eight_digits_value(bytes);
    p += 8;
  }
  for (; p != end && is_digit(*p); ++p) {
    mantissa = mantissa * 10 + digit_value(*p);
  }
  return p;
}

// Rereads the digits of a form with more than 19 of them: the first 19 significant ones make
// the mantissa, the others raise the power of ten and, when not all zero, mark it truncated.
void keep_leading_digits(decimal_form& form) noexcept {
  std::uint64_t mantissa = 0;
  int kept = 0;
  std::int64_t dropped = 0;
  bool truncated = false;
  for (const std::string_view part : {form.integer_digits, form.fraction_digits}) {
    for (const char c : part) {
      if (kept == 0 && c == '0') {
        continue;
      }
      if (kept < detail::max_mantissa_digits) {
        mantissa = mantissa * 10 + digit_value(c);
        ++kept;
      } else {
        ++dropped;
        truncated = truncated || c != '0';
      }
    }
  }
  form.mantissa = mantissa;
  form.power_of_ten += dropped;
  form.truncated = truncated;
}

// Reads the exponent part's digits from p; the value stops changing at 65536.
const char* accumulate_exponent(const char* p, const char* end, std::uint32_t& value) noexcept {
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
  const char* p = text.data();
  const char* const end = p + text.size();
  std::uint64_t mantissa = 0;
  const char* const integer_begin = p;
  p = accumulate_digits(p, end, mantissa);
  form.integer_digits = {integer_begin, p};
  form.fraction_digits = {};
  if (p != end && *p == '.') {
    const char* const fraction_begin = ++p;
    p = accumulate_digits(p, end, mantissa);
    form.fraction_digits = {fraction_begin, p};
  }
  const std::size_t digit_count = form.integer_digits.size() + form.fraction_digits.size();
  if (digit_count == 0) {
    return false;
  }
  std::int64_t exponent = 0;
  if (p != end && (static_cast<unsigned char>(*p) | case_bit) == 'e') {
    ++p;
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '+' || *p == '-')) {
      ++p;
    }
    if (p == end || !is_digit(*p)) {
      return false;
    }
    std::uint32_t value = 0;
    p = accumulate_exponent(p, end, value);
    exponent = negative ? -std::int64_t{value} : std::int64_t{value};
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

// "inf", "infinity" or "nan" in any case; the sign flips the sign bit, of the NaN too.
f32_result special_word(std::string_view text, bool negative) noexcept {
  std::uint32_t bits = 0;
  if (is_word(text, "INF") || is_word(text, "INFINITY")) {
    bits = detail::infinity_bits;
  } else if (is_word(text, "NAN")) {
    bits = quiet_nan_bits;
  } else {
    return {0.0F, float_error::invalid};
  }
  return {std::bit_cast<float>(negative ? bits ^ detail::sign_bit : bits), float_error::none};
}

// The cheapest method that decides: Clinger's fast path, Eisel–Lemire (twice when digits were
// dropped, for the mantissa and its successor, which bracket the value), the exact fallback.
std::uint32_t nearest_float_bits(const decimal_form& form) noexcept {
  if (!form.truncated) {
    if (const auto value = detail::clinger_fast_path(form.mantissa, form.power_of_ten)) {
      return std::bit_cast<std::uint32_t>(*value);
    }
  }
  std::optional<std::uint32_t> bits = detail::eisel_lemire(form.mantissa, form.power_of_ten);
  if (form.truncated && bits != detail::eisel_lemire(form.mantissa + 1, form.power_of_ten)) {
    bits.reset();
  }
  return bits ? *bits : detail::decimal_fallback(form);
}

} // namespace

f32_result parse_f32(std::string_view text) noexcept {
  if (text.empty()) {
    return {0.0F, float_error::empty};
  }
  const bool negative = text.front() == '-';
  if (negative || text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty()) {
      return {0.0F, float_error::invalid};
    }
  }
  decimal_form form;
  if (!scan_decimal(text, form)) {
    return special_word(text, negative);
  }
  const std::uint32_t bits = nearest_float_bits(form);
  return {std::bit_cast<float>(negative ? bits ^ detail::sign_bit : bits), float_error::none};
}

std::string_view describe(float_error error) noexcept {
  return error == float_error::empty ? "ParseFloatError { kind: Empty }"
                                     : "ParseFloatError { kind: Invalid }";
}

} // namespace korvane::text
