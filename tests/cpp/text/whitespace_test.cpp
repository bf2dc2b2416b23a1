// tests/cpp/text/whitespace_test.cpp: the 25 characters that separate tokens
#include "text/whitespace.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>

namespace korvane::text {
namespace {

constexpr std::array<char32_t, 25> white_space = {
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085, 0x00A0, 0x1680,
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
    0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000,
};

// Every code point, and a few values past the last one, against the list above.
TEST(whitespace_test, exactly_the_listed_characters) {
  for (char32_t c = 0; c < 0x110100; ++c) {
    const bool listed = std::find(white_space.begin(), white_space.end(), c) != white_space.end();
    ASSERT_EQ(is_white_space(c), listed) << std::hex << "U+" << static_cast<unsigned>(c);
  }
}

// Characters that share a low byte or a high byte with whitespace, and look-alikes.
TEST(whitespace_test, near_misses_are_not_whitespace) {
  for (const char32_t c :
       {0x0008U, 0x000EU, 0x001CU, 0x001FU, 0x007FU,  0x0084U,  0x0086U,  0x009FU,  0x00A1U,
        0x0100U, 0x0185U, 0x01A0U, 0x1600U, 0x167FU,  0x1681U,  0x180EU,  0x200BU,  0x2027U,
        0x202AU, 0x202EU, 0x2030U, 0x205EU, 0x2060U,  0x2085U,  0x20A0U,  0x2100U,  0x2F00U,
        0x2FFFU, 0x3001U, 0x3080U, 0xFEFFU, 0x12000U, 0x12085U, 0x13000U, 0x101680U}) {
    EXPECT_FALSE(is_white_space(c)) << std::hex << "U+" << static_cast<unsigned>(c);
  }
}

} // namespace
} // namespace korvane::text
