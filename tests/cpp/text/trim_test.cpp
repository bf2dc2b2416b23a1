// tests/cpp/text/trim_test.cpp: removing whitespace from both ends of a data field
#include "text/trim.h"

#include <gtest/gtest.h>
#include <string>

namespace korvane::text {
namespace {

struct trim_case {
  const char* field;
  const char* trimmed;
};

TEST(trim_test, removes_leading_and_trailing_whitespace) {
  const trim_case cases[] = {
      {"   1.5E+02", "1.5E+02"},
      {"1.5   ", "1.5"},
      {"\u00A0-3.25\u2003", "-3.25"},
      {"", ""},
      {"            ", ""},
      {"\t\n\v\f\r1\t\n\v\f\r", "1"},
      {" 1.5 2 ", "1.5 2"},
      {"x", "x"},
      {"\u3000\u3000", ""},
      {"\u0085", ""},
      {"a\u2029", "a"},
      {"\u1680\u205Fb\u202F", "b"},
      {"é\u00A0", "é"},
      {"\u00A0é", "é"},
      {" 日 ", "日"},
      {"\u2003\U0001F600\u2003", "\U0001F600"},
  };
  for (const trim_case& c : cases) {
    EXPECT_EQ(trim_field(c.field), c.trimmed) << "field: " << c.field;
  }
}

TEST(trim_test, keeps_characters_that_are_not_whitespace) {
  const trim_case cases[] = {
      {"\u200B1\u200B", "\u200B1\u200B"},
      {"\uFEFF1", "\uFEFF1"},
      {"1\x1F", "1\x1F"},
      // U+2080 and U+20A0 share their high byte with the U+20xx spaces.
      {"\u20801\u20A0", "\u20801\u20A0"},
      {" \u2060 ", "\u2060"},
  };
  for (const trim_case& c : cases) {
    EXPECT_EQ(trim_field(c.field), c.trimmed) << "field: " << c.field;
  }
}

TEST(trim_test, result_is_a_view_into_the_field) {
  const std::string field = "\u00A0 2.5 ";
  const std::string_view trimmed = trim_field(field);
  EXPECT_EQ(trimmed.data(), field.data() + 3);
  EXPECT_EQ(trimmed.size(), 3U);
}

} // namespace
} // namespace korvane::text
