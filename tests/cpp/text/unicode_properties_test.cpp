// tests/cpp/text/unicode_properties_test.cpp: printability and Grapheme_Extend lookups
#include "text/unicode_properties.h"
#include "text/unicode_table.h"

#include <gtest/gtest.h>

namespace korvane::text {
namespace {

struct property_case {
  char32_t c;
  bool printable;
  bool grapheme_extend;
  const char* what;
};

TEST(unicode_properties_test, known_characters) {
  const property_case cases[] = {
      {0x0000, false, false, "NUL (Cc)"},
      {0x001F, false, false, "unit separator (Cc)"},
      {0x0020, true, false, "space (Zs, printable all the same)"},
      {0x0041, true, false, "A"},
      {0x007E, true, false, "tilde"},
      {0x007F, false, false, "delete (Cc)"},
      {0x0085, false, false, "next line (Cc)"},
      {0x00A0, false, false, "no-break space (Zs)"},
      {0x00A1, true, false, "inverted exclamation mark"},
      {0x00AD, false, false, "soft hyphen (Cf)"},
      {0x00E9, true, false, "e with acute"},
      {0x02FF, true, false, "last modifier letter before the combining marks"},
      {0x0300, true, true, "combining grave accent (Mn)"},
      {0x036F, true, true, "last of the first combining block"},
      {0x0370, true, false, "Greek capital heta"},
      {0x0378, false, false, "unassigned (Cn)"},
      {0x09BE, true, true, "Bengali vowel sign AA (Mc, Other_Grapheme_Extend)"},
      {0x1680, false, false, "ogham space mark (Zs)"},
      {0x200B, false, false, "zero width space (Cf)"},
      {0x200C, false, true, "zero width non-joiner (Cf, Other_Grapheme_Extend)"},
      {0x20DD, true, true, "combining enclosing circle (Me)"},
      {0x2028, false, false, "line separator (Zl)"},
      {0x2029, false, false, "paragraph separator (Zp)"},
      {0x3000, false, false, "ideographic space (Zs)"},
      {0x3400, true, false, "first of CJK extension A (a First/Last range)"},
      {0x4DBF, true, false, "last of CJK extension A"},
      {0x4E00, true, false, "first CJK ideograph"},
      {0x9FFF, true, false, "last CJK ideograph"},
      {0xAC00, true, false, "first Hangul syllable"},
      {0xD7A3, true, false, "last Hangul syllable"},
      {0xD7A4, false, false, "unassigned after the Hangul syllables"},
      {0xD800, false, false, "first surrogate (Cs)"},
      {0xDFFF, false, false, "last surrogate (Cs)"},
      {0xE000, false, false, "first private use (Co)"},
      {0xF8FF, false, false, "last private use (Co)"},
      {0xFDD0, false, false, "noncharacter"},
      {0xFE0F, true, true, "variation selector 16 (Mn)"},
      {0xFEFF, false, false, "byte order mark (Cf)"},
      {0xFF9E, true, true, "halfwidth voiced sound mark (Lm, Other_Grapheme_Extend)"},
      {0xFFFD, true, false, "replacement character"},
      {0xFFFE, false, false, "noncharacter U+FFFE"},
      {0xFFFF, false, false, "noncharacter U+FFFF"},
      {0x1F600, true, false, "grinning face"},
      {0x2A6DF, true, false, "last of CJK extension B"},
      {0x2A6E0, false, false, "unassigned after CJK extension B"},
      {0xE0001, false, false, "language tag (Cf)"},
      {0xE0100, true, true, "variation selector 17 (Mn)"},
      {0xE01EF, true, true, "variation selector 256 (Mn)"},
      {0xE01F0, false, false, "unassigned after the variation selectors"},
      {0xF0000, false, false, "plane 15 private use (Co)"},
      {0x10FFFD, false, false, "last private use (Co)"},
      {0x10FFFF, false, false, "last code point, a noncharacter"},
      {0x110000, false, false, "past the last code point"},
      {0xFFFFFFFF, false, false, "largest 32-bit value"},
  };
  for (const property_case& c : cases) {
    EXPECT_EQ(is_printable(c.c), c.printable) << c.what;
    EXPECT_EQ(is_grapheme_extend(c.c), c.grapheme_extend) << c.what;
  }
}

// The lookups rely on sorted ranges that neither overlap nor touch.
TEST(unicode_properties_test, ranges_are_sorted_and_separate) {
  for (const auto ranges : {detail::printable_ranges(), detail::grapheme_extend_ranges()}) {
    ASSERT_FALSE(ranges.empty());
    for (std::size_t i = 0; i < ranges.size(); ++i) {
      EXPECT_LE(ranges[i].first, ranges[i].last) << i;
      EXPECT_LE(ranges[i].last, 0x10FFFFU) << i;
      if (i > 0) {
        EXPECT_GT(ranges[i].first, ranges[i - 1].last + 1) << i;
      }
    }
  }
}

} // namespace
} // namespace korvane::text
