// tests/cpp/text/float_parse_test.cpp: bit-exact conversions of hard decimal texts to floats
#include "support/exact_decimal.h"
#include "text/float_parse.h"

#include <bit>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane::text {
namespace {

struct conversion {
  std::string text;
  std::uint32_t bits;
};

constexpr std::uint32_t bits_of(float value) {
  return std::bit_cast<std::uint32_t>(value);
}

constexpr std::uint32_t infinity = 0x7F800000;
constexpr std::uint32_t minus_infinity = 0xFF800000;
constexpr std::uint32_t minus_zero = 0x80000000;
constexpr std::uint32_t quiet_nan = 0x7FC00000;

void expect_conversions(const std::vector<conversion>& cases) {
  for (const conversion& c : cases) {
    const f32_result result = parse_f32(c.text);
    EXPECT_TRUE(result) << c.text;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(result.value), c.bits) << c.text;
  }
}

TEST(float_parse_test, decimal_forms) {
  expect_conversions({
      {"1", bits_of(0x1p0F)},
      {"1.", bits_of(0x1p0F)},
      {"+1", bits_of(0x1p0F)},
      {".5", bits_of(0x1p-1F)},
      {"+.5", bits_of(0x1p-1F)},
      {"-.5e1", bits_of(-0x1.4p2F)},
      {"1E+05", bits_of(0x1.86ap16F)},
      {"1.e5", bits_of(0x1.86ap16F)},
      {".5E-3", bits_of(0x1.0624dep-11F)},
      {"1e0000000000000000000005", bits_of(0x1.86ap16F)},
      {"007.50", bits_of(0x1.ep2F)},
      {"0.1", 0x3DCCCCCD},
      {"123456789", bits_of(0x1.d6f346p26F)},
      {"1.23456E+00", bits_of(0x1.3c0c2p0F)},
      {"-3.00000E+02", bits_of(-0x1.2cp8F)},
      {"1.23456789E-05", 0x374F204A},
      {"99999999999999999999", bits_of(0x1.5af1d8p66F)},
  });
}

TEST(float_parse_test, ties_go_to_even) {
  expect_conversions({
      {"16777217", bits_of(0x1p24F)},
      {"16777218", bits_of(0x1.000002p24F)},
      {"16777219", bits_of(0x1.000004p24F)},
      {"8388608.5", bits_of(0x1p23F)},
      {"8388609.5", bits_of(0x1.000004p23F)},
      // 1 + 2^-24 and 1 + 3 * 2^-24, exactly, with more than 19 digits
      {"1.000000059604644775390625", bits_of(0x1p0F)},
      {"1.000000059604644775390624", bits_of(0x1p0F)},
      {"1.000000059604644775390626", bits_of(0x1.000002p0F)},
      {"1.000000178813934326171875", bits_of(0x1.000004p0F)},
      {"1.00000000000000000000000000000001", bits_of(0x1p0F)},
  });
}

TEST(float_parse_test, overflow_boundary) {
  expect_conversions({
      {"3.4028235e38", 0x7F7FFFFF},
      {"3.4028236e38", infinity},
      // (2 - 2^-24) * 2^127, the midpoint between the largest float and 2^128, and just below
      {"340282356779733661637539395458142568448", infinity},
      {"340282356779733661637539395458142568447.9", 0x7F7FFFFF},
      {"1e39", infinity},
      {"1e99999999999999999999", infinity},
      {"-1e39", minus_infinity},
      {"1e65535", infinity},
  });
}

TEST(float_parse_test, underflow_boundary) {
  expect_conversions({
      {"1e-45", 0x00000001},
      {"7.1e-46", 0x00000001},
      {"7e-46", 0},
      {"1e-99999999999999999999", 0},
      {"1.1754943e-38", bits_of(0x1p-126F)},
      {"1.1754942e-38", 0x007FFFFF},
      {"2.8e-45", 0x00000002},
      {"0." + std::string(44, '0') + "1401298464324817", 0x00000001},
  });
}

TEST(float_parse_test, zeros_and_signs) {
  expect_conversions({
      {"0", 0},
      {"000.000", 0},
      {"-0", minus_zero},
      {"-0.0", minus_zero},
      {"-0e10", minus_zero},
      {"-1e-60", minus_zero},
      {"0e99999", 0},
      {"-1.5", bits_of(-0x1.8p0F)},
  });
}

TEST(float_parse_test, special_words) {
  expect_conversions({
      {"nan", quiet_nan},
      {"NaN", quiet_nan},
      {"+nan", quiet_nan},
      {"-nan", 0xFFC00000},
      {"inf", infinity},
      {"INF", infinity},
      {"+Inf", infinity},
      {"infinity", infinity},
      {"INFINITY", infinity},
      {"iNfInItY", infinity},
      {"-inf", minus_infinity},
      {"-Infinity", minus_infinity},
  });
}

// The exponent part stops growing at 65536: the last digit of 655450 is passed over, so the
// value is 10^(65545 - 65545).
TEST(float_parse_test, exponent_stops_growing) {
  const std::string text = "0." + std::string(65544, '0') + "1e655450";
  expect_conversions({{text, bits_of(0x1p0F)}, {"1e-65536", 0}});
}

// 2^-150, half the smallest subnormal, has a 105-digit expansion: exactly it rounds to even
// zero, anything above it to the smallest subnormal, also beyond 768 digits.
TEST(float_parse_test, half_the_smallest_subnormal) {
  using testing::append_digits;
  using testing::to_text;
  const testing::exact_decimal half = testing::expand_binary(1, -150);
  ASSERT_EQ(half.digits.size(), 105U);
  std::string as_fraction = "0.";
  as_fraction.append(45, '0').append(half.digits).append("1");
  const std::string far_zeros(800, '0');
  expect_conversions({
      {to_text(half), 0},
      {to_text(append_digits(half, "1")), 0x00000001},
      {as_fraction, 0x00000001},
      {to_text(append_digits(half, far_zeros + "1")), 0x00000001},
      {to_text(append_digits(half, far_zeros)), 0},
      {to_text(testing::minus_last_unit(half)), 0},
  });
}

// 1 + 2^-24 is a tie between 1 and its successor; digits far beyond the 768th still count.
TEST(float_parse_test, digits_beyond_the_exact_window) {
  const std::string tie = "1.000000059604644775390625";
  const std::string zeros(1000, '0');
  expect_conversions({
      {tie + zeros, bits_of(0x1p0F)},
      {tie + zeros + "1", bits_of(0x1.000002p0F)},
      {"1.000000059604644775390624" + std::string(1000, '9'), bits_of(0x1p0F)},
      {"0." + zeros + "1e1001", bits_of(0x1p0F)},
  });
}

TEST(float_parse_test, empty_text) {
  const f32_result result = parse_f32("");
  EXPECT_FALSE(result);
  EXPECT_EQ(result.error, float_error::empty);
}

TEST(float_parse_test, invalid_texts) {
  const std::vector<std::string> texts = {
      "+",
      "-",
      ".",
      "e5",
      ".e5",
      "1e",
      "1e+",
      "1e-",
      "infin",
      "infinite",
      "nan(1)",
      "1.0D+05",
      "1.234-105",
      "1,5",
      "0x1A",
      "1_000",
      "--1",
      "+-1",
      "-+1",
      "1.5.2",
      " 1",
      "1 ",
      "1 5",
      "\xEF\xBC\x91",
      "\xE2\x88\x92"
      "1",
      "1e5.0",
      "1e+-5",
      "1ee5",
      "e",
      "E",
      "in",
      "na",
      "nana",
      "infinityy",
      "-inf ",
      "+-inf",
      "i.nf",
      "1\xC2\xA0",
      std::string("1\0", 2),
      "inF1",
      "1E+0x",
      "1e5_",
      "\x09NF",
      "1e5e5",
  };
  for (const std::string& text : texts) {
    const f32_result result = parse_f32(text);
    EXPECT_FALSE(result) << text;
    EXPECT_EQ(result.error, float_error::invalid) << text;
  }
}

TEST(float_parse_test, failure_descriptions) {
  EXPECT_EQ(describe(float_error::empty), "ParseFloatError { kind: Empty }");
  EXPECT_EQ(describe(float_error::invalid), "ParseFloatError { kind: Invalid }");
}

} // namespace
} // namespace korvane::text
