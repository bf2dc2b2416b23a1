// tests/cpp/text/eight_digits_test.cpp: reading up to eight digits from one 64-bit load
#include "text/eight_digits.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace korvane::text::detail {
namespace {

std::uint64_t load(const std::string& eight_bytes) {
  std::uint64_t bytes = 0;
  std::memcpy(&bytes, eight_bytes.data(), sizeof bytes);
  return bytes;
}

// Every run length, ended by bytes next to the digits in value and by ones that carry when 6
// is added; the bytes after the first non-digit must not matter.
TEST(eight_digits_test, run_length_and_value) {
  const std::string digits = "98765432";
  for (const char stop : {'/', ':', '\0', '\xFF', '\xFA', 'e', '.', '@', 'I'}) {
    for (int count = 0; count < 8; ++count) {
      std::string bytes = digits.substr(0, static_cast<std::size_t>(count)) + stop;
      bytes.resize(8, '\xFA');
      EXPECT_EQ(leading_digit_count(load(bytes)), count) << count << " " << int{stop};
      if (count > 0) {
        EXPECT_EQ(leading_digits_value(load(bytes), count),
                  std::stoull(digits.substr(0, static_cast<std::size_t>(count))));
      }
    }
  }
  EXPECT_EQ(leading_digit_count(load(digits)), 8);
  EXPECT_EQ(leading_digits_value(load(digits), 8), 98765432U);
  EXPECT_EQ(leading_digits_value(load("00000007"), 8), 7U);
}

} // namespace
} // namespace korvane::text::detail
