// tests/cpp/text/utf8_test.cpp: validation, decoding and character boundaries of UTF-8
#include "text/utf8.h"

#include <gtest/gtest.h>
#include <string>

namespace korvane::text {
namespace {

struct bytes_case {
  std::string bytes;
  const char* what;
};

TEST(utf8_test, accepts_well_formed_text) {
  const bytes_case cases[] = {
      {"", "empty"},
      {"plain ASCII \x01\x7F", "ASCII"},
      {std::string("\0", 1), "NUL"},
      {"\xC2\x80", "U+0080"},
      {"\xDF\xBF", "U+07FF"},
      {"\xE0\xA0\x80", "U+0800"},
      {"\xED\x9F\xBF", "U+D7FF, below the surrogates"},
      {"\xEE\x80\x80", "U+E000, above the surrogates"},
      {"\xEF\xBF\xBF", "U+FFFF"},
      {"\xF0\x90\x80\x80", "U+10000"},
      {"\xF4\x8F\xBF\xBF", "U+10FFFF"},
      {"a\xC3\xA9z\xE6\x97\xA5\xF0\x9F\x98\x80", "mixed"},
  };
  for (const bytes_case& c : cases) {
    EXPECT_TRUE(is_valid_utf8(c.bytes)) << c.what;
  }
}

TEST(utf8_test, rejects_ill_formed_text) {
  const bytes_case cases[] = {
      {"\x80", "lone continuation byte"},
      {"\xBF", "lone last continuation byte"},
      {"\xC0\x80", "overlong NUL"},
      {"\xC1\xBF", "overlong U+007F"},
      {"\xE0\x80\x80", "overlong three bytes"},
      {"\xE0\x9F\xBF", "overlong U+07FF"},
      {"\xF0\x80\x80\x80", "overlong four bytes"},
      {"\xF0\x8F\xBF\xBF", "overlong U+FFFF"},
      {"\xED\xA0\x80", "surrogate U+D800"},
      {"\xED\xBF\xBF", "surrogate U+DFFF"},
      {"\xF4\x90\x80\x80", "U+110000"},
      {"\xF5\x80\x80\x80", "lead byte F5"},
      {"\xF8\x88\x80\x80\x80", "five-byte form"},
      {"\xFE", "byte FE"},
      {"\xFF", "byte FF"},
      {"\xC3", "truncated two bytes"},
      {"\xE2\x82", "truncated three bytes"},
      {"\xF0\x9F\x98", "truncated four bytes"},
      {"\xC3\x41", "ASCII after a lead byte"},
      {"\xE2\x41\x82", "ASCII as second byte"},
      {"\xE2\x82\x41", "ASCII as third byte"},
      {"\xF0\x9F\x41\x80", "ASCII inside four bytes"},
      {"\xF0\x9F\x98\x41", "ASCII as fourth byte"},
      {"\xC3\xA9\xA9", "extra continuation byte"},
      {"\xC3\xC3\xA9", "lead byte for a continuation"},
  };
  for (const bytes_case& c : cases) {
    EXPECT_FALSE(is_valid_utf8(c.bytes)) << c.what;
    EXPECT_FALSE(is_valid_utf8("abcdefghijklmnop" + c.bytes)) << c.what << " after ASCII";
    EXPECT_FALSE(is_valid_utf8(c.bytes + "abcdefghijklmnop")) << c.what << " before ASCII";
  }
}

// ASCII runs of every length around the 8-byte word, with one bad byte at every position.
TEST(utf8_test, ascii_runs_of_every_length) {
  for (std::size_t length = 0; length <= 25; ++length) {
    const std::string run(length, 'a');
    EXPECT_TRUE(is_valid_utf8(run)) << length;
    EXPECT_TRUE(is_valid_utf8(run + "\xC3\xA9")) << length;
    EXPECT_TRUE(is_valid_utf8(run + "\xF0\x9F\x98\x80" + run)) << length;
    EXPECT_FALSE(is_valid_utf8(run + "\xC3")) << length;
    EXPECT_FALSE(is_valid_utf8(run + "\xF0\x9F\x98")) << length;
    for (std::size_t at = 0; at < length; ++at) {
      std::string bad = run;
      bad[at] = '\x80';
      EXPECT_FALSE(is_valid_utf8(bad)) << length << " bad at " << at;
      bad[at] = '\xFF';
      EXPECT_FALSE(is_valid_utf8(bad)) << length << " FF at " << at;
    }
  }
}

TEST(utf8_test, decodes_each_length) {
  struct decode_case {
    const char* bytes;
    char32_t code_point;
    std::size_t length;
  };
  const decode_case cases[] = {
      {"A", U'A', 1},
      {"\x7F", 0x7F, 1},
      {"\xC2\x80", 0x80, 2},
      {"\xC3\xA9", 0xE9, 2},
      {"\xDF\xBF", 0x7FF, 2},
      {"\xE0\xA0\x80", 0x800, 3},
      {"\xE2\x80\x83", 0x2003, 3},
      {"\xEF\xBF\xBF", 0xFFFF, 3},
      {"\xF0\x90\x80\x80", 0x10000, 4},
      {"\xF0\x9F\x98\x80", 0x1F600, 4},
      {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
  };
  for (const decode_case& c : cases) {
    const std::string text = std::string("x") + c.bytes + "y";
    const decoded_char decoded = decode_at(text, 1);
    EXPECT_EQ(decoded.code_point, c.code_point) << c.bytes;
    EXPECT_EQ(decoded.length, c.length) << c.bytes;
  }
}

TEST(utf8_test, char_boundaries) {
  // 'a', then U+00E9 at 1..3, U+65E5 at 3..6, U+1F600 at 6..10.
  const std::string text = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
  const bool boundary[] = {true, true, false, true, false, false, true, false, false, false, true};
  for (std::size_t offset = 0; offset <= text.size(); ++offset) {
    EXPECT_EQ(is_char_boundary(text, offset), boundary[offset]) << offset;
  }
  EXPECT_FALSE(is_char_boundary(text, text.size() + 1));
}

} // namespace
} // namespace korvane::text
