// tests/cpp/text/slice_message_test.cpp: the message for a field that does not fit its line
#include "text/slice_message.h"

#include <gtest/gtest.h>
#include <string>

namespace korvane::text {
namespace {

struct slice_case {
  std::string line;
  std::size_t start;
  std::size_t end;
  std::string message;
};

void expect_messages(const slice_case* first, const slice_case* last) {
  for (const slice_case* c = first; c != last; ++c) {
    EXPECT_EQ(std::string_view(slice_message(c->line, c->start, c->end)), c->message)
        << "line: " << c->line << ", range " << c->start << ".." << c->end;
  }
}

const std::string thirty = " 1.00000E+00 2.50000E-01-3.00";

TEST(slice_message_test, out_of_bounds) {
  const slice_case cases[] = {
      {thirty, 24, 36, "byte index 36 is out of bounds of ` 1.00000E+00 2.50000E-01-3.00`"},
      {"", 0, 12, "byte index 12 is out of bounds of ``"},
      {"abc", 5, 10, "byte index 5 is out of bounds of `abc`"},
      {"abc", 3, 4, "byte index 4 is out of bounds of `abc`"},
      // The end beyond the line is reported even when the start is inside a character.
      {"a\u00E9", 2, 14, "byte index 14 is out of bounds of `a\u00E9`"},
      // Only the line's own bytes are shown, unescaped.
      {"\t\u00A0x", 0, 12, "byte index 12 is out of bounds of `\t\u00A0x`"},
  };
  expect_messages(std::begin(cases), std::end(cases));
}

TEST(slice_message_test, inside_a_character) {
  const std::string eleven(11, 'x');
  const slice_case cases[] = {
      {eleven + "\u00E9yyyyyyyyyyyy", 0, 12,
       "byte index 12 is not a char boundary; it is inside '\u00E9' (bytes 11..13) of `" + eleven +
           "\u00E9yyyyyyyyyyyy`"},
      {eleven + "\u00E9yyyyyyyyyyyy", 12, 24,
       "byte index 12 is not a char boundary; it is inside '\u00E9' (bytes 11..13) of `" + eleven +
           "\u00E9yyyyyyyyyyyy`"},
      {"0123456789\U0001F600yy", 0, 12,
       "byte index 12 is not a char boundary; it is inside '\U0001F600' (bytes 10..14) of "
       "`0123456789\U0001F600yy`"},
      {"ab\u65E5", 0, 4,
       "byte index 4 is not a char boundary; it is inside '\u65E5' (bytes 2..5) of `ab\u65E5`"},
      {eleven + "\u0301z", 0, 12,
       "byte index 12 is not a char boundary; it is inside '\\u{301}' (bytes 11..13) of `" +
           eleven + "\u0301z`"},
      {eleven + "\u00A0z", 0, 12,
       "byte index 12 is not a char boundary; it is inside '\\u{a0}' (bytes 11..13) of `" + eleven +
           "\u00A0z`"},
      {eleven + "\u200Bz", 0, 12,
       "byte index 12 is not a char boundary; it is inside '\\u{200b}' (bytes 11..14) of `" +
           eleven + "\u200Bz`"},
  };
  expect_messages(std::begin(cases), std::end(cases));
}

TEST(slice_message_test, long_lines_are_cut_at_256_bytes) {
  const std::string a256(256, 'a');
  const std::string a255(255, 'a');
  const std::string a254(254, 'a');
  const std::string tail(40, 'z');
  const slice_case cases[] = {
      {a256, 0, 300, "byte index 300 is out of bounds of `" + a256 + "`"},
      {a256 + "b", 0, 300, "byte index 300 is out of bounds of `" + a256 + "`[...]"},
      {a256 + tail, 288, 300, "byte index 300 is out of bounds of `" + a256 + "`[...]"},
      // U+00E9 at 255..257: offset 256 falls inside it, so the cut moves back to 255.
      {a255 + "\u00E9" + tail, 288, 300, "byte index 300 is out of bounds of `" + a255 + "`[...]"},
      // U+65E5 at 254..257.
      {a254 + "\u65E5" + tail, 288, 300, "byte index 300 is out of bounds of `" + a254 + "`[...]"},
      // U+00E9 at 254..256 ends right at the cut and stays whole.
      {a254 + "\u00E9" + tail, 288, 300,
       "byte index 300 is out of bounds of `" + a254 + "\u00E9`[...]"},
      {a255 + "\u00E9" + tail, 0, 256,
       "byte index 256 is not a char boundary; it is inside '\u00E9' (bytes 255..257) of `" + a255 +
           "`[...]"},
  };
  expect_messages(std::begin(cases), std::end(cases));
}

} // namespace
} // namespace korvane::text
