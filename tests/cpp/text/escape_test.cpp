// tests/cpp/text/escape_test.cpp: quoted texts and characters
#include "text/escape.h"

#include <gtest/gtest.h>
#include <string>

namespace korvane::text {
namespace {

struct escape_case {
  std::string text;
  const char* quoted;
};

string quoted_form(std::string_view text) {
  string out = "<";
  append_quoted(out, text);
  return out;
}

TEST(escape_test, quoted_text) {
  const escape_case cases[] = {
      {"", "<\"\""},
      {"No such file or directory", "<\"No such file or directory\""},
      {"say \"hi\"", "<\"say \\\"hi\\\"\""},
      {"a\\b", "<\"a\\\\b\""},
      {"\t\r\n", "<\"\\t\\r\\n\""},
      {std::string("a\0b", 3), "<\"a\\0b\""},
      {"it's", "<\"it's\""},
      {"\x01\x0B\x1F\x7F", "<\"\\u{1}\\u{b}\\u{1f}\\u{7f}\""},
      {"\xC2\x85", "<\"\\u{85}\""},
      {"a\u00A0b", "<\"a\\u{a0}b\""},
      {"\u00AD\u200B\u2028\u2029\u3000\uFEFF",
       "<\"\\u{ad}\\u{200b}\\u{2028}\\u{2029}\\u{3000}\\u{feff}\""},
      {"e\u0301", "<\"e\\u{301}\""},
      {"\u0378", "<\"\\u{378}\""},
      {"\uE000\U000E0001\U0010FFFF", "<\"\\u{e000}\\u{e0001}\\u{10ffff}\""},
      {"d\u00E9j\u00E0 \u65E5\u672C \U0001F600 \uFFFD",
       "<\"d\u00E9j\u00E0 \u65E5\u672C \U0001F600 \uFFFD\""},
  };
  for (const escape_case& c : cases) {
    EXPECT_EQ(quoted_form(c.text), c.quoted) << c.text;
  }
}

TEST(escape_test, quoted_char) {
  const escape_case cases[] = {
      {"\u00E9", "'\u00E9'"},    {"\u65E5", "'\u65E5'"},    {"\U0001F600", "'\U0001F600'"},
      {"\u0301", "'\\u{301}'"},  {"\u09BE", "'\\u{9be}'"},  {"\u00A0", "'\\u{a0}'"},
      {"\u200B", "'\\u{200b}'"}, {"\uE000", "'\\u{e000}'"}, {"\t", "'\\u{9}'"},
  };
  for (const escape_case& c : cases) {
    string out;
    append_quoted_char(out, c.text);
    EXPECT_EQ(out, c.quoted) << c.text;
  }
}

} // namespace
} // namespace korvane::text
