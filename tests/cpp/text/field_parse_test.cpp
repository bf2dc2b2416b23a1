// tests/cpp/text/field_parse_test.cpp: data fields through the fast path and the general
// conversion, which must agree on every value and every failure
#include "text/field_parse.h"
#include "text/trim.h"

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace korvane::text {
namespace {

// The sanitized build runs about ten times slower.
#ifdef __SANITIZE_ADDRESS__
constexpr int random_field_count = 100'000;
#else
constexpr int random_field_count = 1'000'000;
#endif

// Bits of a result, or its error in the high bits, so that results compare whole.
std::uint64_t outcome(f32_result result) {
  return result ? std::bit_cast<std::uint32_t>(result.value)
                : std::uint64_t{1} << (32 + static_cast<int>(result.error));
}

std::uint64_t general_outcome(std::string_view field) {
  return outcome(parse_f32(trim_field(field)));
}

// The width-specific entry, for the widths the reader gives one.
std::uint64_t of_width_outcome(const std::string& field) {
  switch (field.size()) {
  case 12:
    return outcome(parse_field_of_width<12>(field.data()));
  case 15:
    return outcome(parse_field_of_width<15>(field.data()));
  default:
    return outcome(parse_field(field));
  }
}

struct field_case {
  std::string field;
  /// Whether the fast path must decide the field itself.
  bool fast;
};

TEST(field_parse_test, agrees_with_the_general_conversion) {
  const field_case cases[] = {
      // The simulation's layouts, signs and exponent signs.
      {" 8.52529E-05", true},
      {"-2.06940E+07", true},
      {"+1.00000e+00", true},
      {"-0.00000E+00", true},
      {" 1.23456789E-10", true},
      {"-9.99999999E+99", true},
      // Other writers: no leading digit, a leading zero, fixed decimals, integers.
      {" .12345E+05", true},
      {"  -.1234E-01", true},
      {" 0.123456E+01", true},
      {"   123.4560", true},
      {"    -17.", true},
      {"  16777217", true},
      {"1234567890123456", true},
      // Mantissas around 2^24 and 2^53, powers at the edges of Clinger's range and beyond.
      {"  16777215.0", true},
      {"  16777216.5", true},
      {"9007199254740993", true},
      {" 1.00000E+27", true},
      {" 1.00000E-17", true},
      {" 1.00000E+28", true},
      {" 1.00000E-18", true},
      {"1.0000000E+10", true},
      {"1.0000000E-10", true},
      // Powers whose doubles are inexact, to the edges of the normal floats and past them.
      {" 1.00000E-31", true},
      {"-2.35099E-38", true},
      {" 1.17549E-38", true},
      {" 1.70141E+38", true},
      {" 9.99999999E-46", true},
      // Exact float midpoints, which go to the even neighbour, and texts just beside them:
      // 16777217 = 2^24 + 1, 11130170.5 between floats 1 apart, 67108900 = 16777225 * 2^2.
      {"    16777217", true},
      {" 1.11301705E+07", true},
      {" 1.11301715E+07", true},
      {" 1.11301706E+07", true},
      {" 6.71089E+07", true},
      {"-3.3554434E+07", true},
      {" 3.35544341E+7", false},
      // The first subnormal, half of it, overflow, the largest float.
      {" 1.40130E-45", true},
      {" 7.00649E-46", true},
      {" 3.40282E+38", true},
      {" 3.40283E+38", true},
      {"-9.99999E+99", true},
      // Left to the general conversion: trailing spaces, other whitespace, three-digit or
      // sign-less exponents, and every invalid or empty field.
      {" 1.5        ", false},
      {"\t1.50000E+00", false},
      {" 1.5000E+100", false},
      {" 1.50000E005", false},
      {"   1.5000e-5", false},
      {"           -", false},
      {"            ", false},
      {"1.0D+00     ", false},
      {" 1.5 2      ", false},
      {"+-1.0000E+00", false},
      {" 1.2.3E+00  ", false},
      {"      .E+05 ", false},
      {"    infinity", false},
      {"         nan", false},
      {"1.00000\xc2\xa0", false},
      // Shorter and longer than the window.
      {"1.5E+0", false},
      {"  1.000000000000E+00", false},
  };
  for (const field_case& c : cases) {
    const std::uint64_t expected = general_outcome(c.field);
    EXPECT_EQ(outcome(parse_field(c.field)), expected) << '"' << c.field << '"';
    EXPECT_EQ(of_width_outcome(c.field), expected) << '"' << c.field << '"';
    const detail::rounding_decision fast = detail::field_fast_path(c.field);
    EXPECT_EQ(fast.decided, c.fast) << '"' << c.field << '"';
    if (fast.decided) {
      EXPECT_EQ(fast.bits, expected) << '"' << c.field << '"';
    }
  }
}

// The midpoint between the positive finite float with these bits and its successor.
double midpoint_above(std::uint32_t bits) {
  return (double{std::bit_cast<float>(bits)} + double{std::bit_cast<float>(bits + 1)}) / 2;
}

// A field of the given width written by printf in the simulation's layout or as a fixed
// decimal, from a value near a float midpoint.
std::string random_field(std::mt19937_64& random, int width) {
  std::uniform_int_distribution<std::uint32_t> finite_bits(0, 0x7F7FFFFE);
  const std::uint32_t bits = finite_bits(random);
  double value = midpoint_above(bits) * (random() % 2 == 0 ? 1 : -1);
  // Now and then a nudge of a few units of the last printed digit.
  const int digits = width - 7;
  value *= 1 + static_cast<double>(static_cast<int>(random() % 7) - 3) * std::pow(10.0, -digits);
  char text[64];
  if (random() % 8 == 0 && std::fabs(value) < 1e6 && std::fabs(value) > 1e-3) {
    std::snprintf(text, sizeof text, "%*.*f", width, width - 9, value);
  } else {
    std::snprintf(text, sizeof text, "%*.*E", width, digits, value);
  }
  return text;
}

TEST(field_parse_test, random_fields_near_midpoints_match_strtof) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  std::mt19937_64 random(0x6669656c64);
  int mismatches = 0;
  for (int i = 0; i < random_field_count; ++i) {
    const std::string field = random_field(random, i % 2 == 0 ? 12 : 15);
    const auto expected = std::bit_cast<std::uint32_t>(std::strtof(field.c_str(), nullptr));
    if (field.size() == 12 || field.size() == 15) {
      const std::uint64_t actual = of_width_outcome(field);
      if (actual != expected && ++mismatches <= 10) {
        ADD_FAILURE() << '"' << field << "\": " << std::hex << actual << " instead of " << expected;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

} // namespace
} // namespace korvane::text
