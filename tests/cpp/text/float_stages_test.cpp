// tests/cpp/text/float_stages_test.cpp: each stage of the float conversion on its own
#include "support/decimal_texts.h"
#include "text/decimal_fallback.h"
#include "text/eisel_lemire.h"
#include "text/fast_path.h"
#include "text/pow5_table.h"

#include <bit>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace korvane::text::detail {
namespace {

using uint128 = unsigned __int128;

std::uint32_t strtof_bits(std::uint64_t mantissa, std::int64_t power_of_ten) {
  const std::string text = std::to_string(mantissa) + "e" + std::to_string(power_of_ten);
  return std::bit_cast<std::uint32_t>(std::strtof(text.c_str(), nullptr));
}

std::uint32_t fallback_bits(std::uint64_t mantissa, std::int64_t power_of_ten) {
  const std::string digits = std::to_string(mantissa);
  return decimal_fallback({digits, {}, power_of_ten, mantissa, power_of_ten, false});
}

// Every stage that decides gives strtof's result, for mantissas of 1 to 19 digits and powers
// of ten across and beyond the float range.
TEST(float_stages_test, every_decision_matches_strtof) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  testing::decimal_texts texts(0x7374616765);
  for (int i = 0; i < 20000; ++i) {
    const std::string digits = texts.digits(texts.uniform(1, 19));
    const std::uint64_t mantissa = std::stoull(digits);
    const std::int64_t power_of_ten = texts.uniform(-70, 45);
    const std::uint32_t expected = strtof_bits(mantissa, power_of_ten);
    ASSERT_EQ(fallback_bits(mantissa, power_of_ten), expected) << digits << "e" << power_of_ten;
    if (const auto lemire = eisel_lemire(mantissa, power_of_ten); lemire.decided) {
      ASSERT_EQ(lemire.bits, expected) << digits << "e" << power_of_ten;
    }
    if (const auto fast = clinger_fast_path(mantissa, power_of_ten); fast.decided) {
      ASSERT_EQ(fast.bits, expected) << digits << "e" << power_of_ten;
    }
  }
}

// The fast path takes six-digit fields and leaves what it cannot compute exactly.
TEST(float_stages_test, fast_path_range) {
  EXPECT_TRUE(clinger_fast_path(123456, -5).decided);
  EXPECT_TRUE(clinger_fast_path(16777216, -10).decided);
  EXPECT_TRUE(clinger_fast_path(1, 17).decided);
  EXPECT_FALSE(clinger_fast_path(16777217, 0).decided);
  EXPECT_FALSE(clinger_fast_path(1, -11).decided);
  EXPECT_FALSE(clinger_fast_path(2, 17).decided);
  EXPECT_FALSE(clinger_fast_path(1, 18).decided);
}

// Nine-digit fields stay away from midpoints, so Eisel–Lemire decides them all; exact
// midpoints that the truncated powers of five cannot resolve are left to the fallback.
TEST(float_stages_test, eisel_lemire_decides_nine_digit_fields) {
  testing::decimal_texts texts(0x6e696e65);
  for (int i = 0; i < 20000; ++i) {
    const auto mantissa = static_cast<std::uint64_t>(texts.uniform(100000000, 999999999));
    const int power_of_ten = texts.uniform(-45, -3);
    EXPECT_TRUE(eisel_lemire(mantissa, power_of_ten).decided) << mantissa << "e" << power_of_ten;
  }
  EXPECT_FALSE(eisel_lemire(83886085, -1).decided); // 8388608.5, halfway between two floats
  EXPECT_FALSE(eisel_lemire(123456785, -1).decided);
}

int bit_width(uint128 value) {
  const auto high = static_cast<std::uint64_t>(value >> 64);
  const auto low = static_cast<std::uint64_t>(value);
  return high != 0 ? 128 - std::countl_zero(high) : 64 - std::countl_zero(low);
}

// Entries for 5^0 to 5^55 are exact: 5^q shifted until bit 127 is its leading bit.
TEST(float_stages_test, exact_powers_of_five) {
  uint128 power = 1;
  for (int q = 0; q <= 55; ++q, power *= 5) {
    const int width = bit_width(power);
    EXPECT_EQ(floor_log2_pow5(q), width - 1) << q;
    const uint128 expected = power << (128 - width);
    const power_of_five& entry = POWER_OF_FIVE_128[static_cast<std::size_t>(q + 342)];
    EXPECT_EQ(entry.high, static_cast<std::uint64_t>(expected >> 64)) << q;
    EXPECT_EQ(entry.low, static_cast<std::uint64_t>(expected)) << q;
  }
}

} // namespace
} // namespace korvane::text::detail
