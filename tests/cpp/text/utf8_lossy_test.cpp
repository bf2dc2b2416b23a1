// tests/cpp/text/utf8_lossy_test.cpp: bytes decoded with replacement characters
#include "text/utf8_lossy.h"

#include <gtest/gtest.h>
#include <string>

namespace korvane::text {
namespace {

const std::string fffd = "\xEF\xBF\xBD";

struct lossy_case {
  std::string bytes;
  std::string decoded;
};

TEST(utf8_lossy_test, replaces_each_maximal_ill_formed_part) {
  const lossy_case cases[] = {
      {"", ""},
      {"No such file or directory", "No such file or directory"},
      {"d\xC3\xA9j\xC3\xA0 \xE6\x97\xA5\xF0\x9F\x98\x80",
       "d\xC3\xA9j\xC3\xA0 \xE6\x97\xA5\xF0\x9F\x98\x80"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"\xFF", fffd},
      {"\x80\xBF", fffd + fffd},
      {"\xC0\x80", fffd + fffd},
      {"\xE0\x80\x80", fffd + fffd + fffd},
      {"\xED\xA0\x80", fffd + fffd + fffd},
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
      {"\xF5\x80", fffd + fffd},
      {"\xE2\x82", fffd},
      {"\xE2\x82x", fffd + "x"},
      {"\xF0\x9F\x98", fffd},
      {"\xF0\x9F\x98 \xF0\x9F\x98\x80", fffd + " \xF0\x9F\x98\x80"},
      {"a\xC3", "a" + fffd},
      {"\xC3\xA9\xC3", "\xC3\xA9" + fffd},
      {"\xC3\xC3\xA9", fffd + "\xC3\xA9"},
      {"bad \xFF byte", "bad " + fffd + " byte"},
  };
  for (const lossy_case& c : cases) {
    string out = "<";
    append_utf8_lossy(out, c.bytes);
    EXPECT_EQ(std::string_view(out), "<" + c.decoded) << c.bytes;
  }
}

} // namespace
} // namespace korvane::text
