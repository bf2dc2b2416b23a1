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

} // namespace
} // namespace korvane::text
