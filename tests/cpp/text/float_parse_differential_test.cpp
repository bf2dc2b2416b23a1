// tests/cpp/text/float_parse_differential_test.cpp: the conversion against glibc's strtof
#include "support/decimal_texts.h"
#include "support/exact_decimal.h"
#include "text/float_parse.h"

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane::text {
namespace {

using testing::exact_decimal;

// The sanitized build runs about ten times slower.
#ifdef __SANITIZE_ADDRESS__
constexpr int random_text_count = 100'000;
#else
constexpr int random_text_count = 1'000'000;
#endif

constexpr std::uint32_t largest_finite_bits = 0x7F7FFFFF;

std::uint32_t strtof_bits(const std::string& text) {
  return std::bit_cast<std::uint32_t>(std::strtof(text.c_str(), nullptr));
}

std::uint32_t parse_bits(const std::string& text) {
  const f32_result result = parse_f32(text);
  return result ? std::bit_cast<std::uint32_t>(result.value) : 0xFFFFFFFF;
}

// The midpoint between the positive finite float with these bits and its successor.
exact_decimal midpoint_above(std::uint32_t bits) {
  const std::uint32_t biased = bits >> 23;
  const std::uint32_t fraction = bits & 0x7FFFFF;
  const std::uint64_t significand = biased == 0 ? fraction : fraction | 0x800000;
  const int exponent = biased == 0 ? -149 : static_cast<int>(biased) - 150;
  return testing::expand_binary(2 * significand + 1, exponent - 1);
}

// A text near a float midpoint: its exact expansion cut after some digits, perhaps with more
// random digits, so that it lies just below or just above.
std::string near_midpoint(testing::decimal_texts& texts) {
  const int biased = texts.one_in(3)
                         ? (texts.one_in(2) ? texts.uniform(0, 2) : texts.uniform(252, 254))
                         : texts.uniform(0, 254);
  const auto bits = static_cast<std::uint32_t>(biased) << 23 |
                    static_cast<std::uint32_t>(texts.uniform(0, 0x7FFFFF));
  exact_decimal midpoint = midpoint_above(bits);
  const auto length = static_cast<int>(midpoint.digits.size());
  const int kept = texts.uniform(1, length + 2);
  if (kept < length) {
    midpoint.exponent += length - kept;
    midpoint.digits.resize(static_cast<std::size_t>(kept));
  }
  if (texts.one_in(2)) {
    midpoint = testing::append_digits(midpoint, texts.digits(texts.uniform(1, 6)));
  }
  return texts.render(midpoint.digits, midpoint.exponent);
}

// Random digits, 1 to 40 of them, mostly within reach of the float range.
std::string random_digits(testing::decimal_texts& texts) {
  const int count = texts.uniform(1, 40);
  const int magnitude = texts.one_in(20) ? texts.uniform(-400, 400) : texts.uniform(-50, 42);
  return texts.render(texts.digits(count), magnitude - count);
}

// A float or double as printf writes it, with 1 to 17 significant digits.
std::string printed_number(testing::decimal_texts& texts) {
  const auto bits = static_cast<std::uint32_t>(texts.uniform(0, 0x7F7FFFFF));
  const double value =
      texts.one_in(2) ? double{std::bit_cast<float>(bits)}
                      : texts.uniform(1, 1 << 30) * 1e-9 * std::pow(10.0, texts.uniform(-40, 38));
  char text[64];
  std::snprintf(text, sizeof text, texts.one_in(2) ? "%.*E" : "%.*g", texts.uniform(0, 16), value);
  return text;
}

TEST(float_parse_differential_test, random_texts_match_strtof) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  testing::decimal_texts texts(0x6b6f7276616e65);
  int mismatches = 0;
  for (int i = 0; i < random_text_count; ++i) {
    const int kind = texts.uniform(0, 2);
    const std::string text = kind == 0   ? random_digits(texts)
                             : kind == 1 ? near_midpoint(texts)
                                         : printed_number(texts);
    const std::uint32_t expected = strtof_bits(text);
    const std::uint32_t actual = parse_bits(text);
    if (actual != expected && ++mismatches <= 10) {
      ADD_FAILURE() << text << ": " << std::hex << actual << " instead of " << expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Floats whose midpoints with their successors are checked: every binade's first, second,
// middle and last two, then random ones.
std::vector<std::uint32_t> midpoint_floats() {
  std::vector<std::uint32_t> bits;
  for (std::uint32_t biased = 0; biased <= 254; ++biased) {
    for (const std::uint32_t fraction : {0U, 1U, 2U, 0x400000U, 0x7FFFFEU, 0x7FFFFFU}) {
      bits.push_back(biased << 23 | fraction);
    }
  }
  testing::decimal_texts texts(0x6d6964);
  for (int i = 0; i < 2000; ++i) {
    bits.push_back(static_cast<std::uint32_t>(texts.uniform(0, largest_finite_bits)));
  }
  return bits;
}

struct midpoint_case {
  std::string text;
  std::uint32_t bits;
};

// The exact midpoint rounds to the even neighbour; anything above it, however little, to the
// upper one, anything below to the lower one, also past 768 digits.
std::vector<midpoint_case> midpoint_cases(std::uint32_t lower) {
  using testing::append_digits;
  using testing::minus_last_unit;
  using testing::to_text;
  const exact_decimal midpoint = midpoint_above(lower);
  const std::uint32_t upper = lower + 1;
  const std::string far(800, '0');
  return {
      {to_text(midpoint), (lower & 1) == 0 ? lower : upper},
      {to_text(append_digits(midpoint, "001")), upper},
      {to_text(minus_last_unit(append_digits(midpoint, "000"))), lower},
      {to_text(append_digits(midpoint, far + "1")), upper},
      {to_text(minus_last_unit(append_digits(midpoint, far))), lower},
  };
}

TEST(float_parse_differential_test, midpoints_round_to_even_and_away) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  int mismatches = 0;
  for (const std::uint32_t lower : midpoint_floats()) {
    for (const midpoint_case& c : midpoint_cases(lower)) {
      for (const bool negative : {false, true}) {
        const std::string text = negative ? "-" + c.text : c.text;
        const std::uint32_t expected = negative ? c.bits | 0x80000000 : c.bits;
        const std::uint32_t actual = parse_bits(text);
        if ((actual != expected || strtof_bits(text) != expected) && ++mismatches <= 10) {
          ADD_FAILURE() << text << ": " << std::hex << actual << ", strtof " << strtof_bits(text)
                        << ", expected " << expected;
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

} // namespace
} // namespace korvane::text
