// tests/cpp/text/count_test.cpp: the parameter count token
#include "text/count.h"

#include <gtest/gtest.h>

namespace korvane::text {
namespace {

struct count_case {
  const char* token;
  std::uint32_t value;
};

TEST(count_test, accepts_optional_plus_and_digits) {
  const count_case cases[] = {
      {"12", 12},
      {"+12", 12},
      {"007", 7},
      {"000000000000000000012", 12},
      {"0", 0},
      {"+0", 0},
      {"00000", 0},
      {"4294967295", 4294967295U},
      {"+4294967295", 4294967295U},
      {"0004294967295", 4294967295U},
      {"429496729", 429496729},
      {"4294967289", 4294967289U},
  };
  for (const count_case& c : cases) {
    EXPECT_EQ(parse_count(c.token), c.value) << "token: " << c.token;
  }
}

TEST(count_test, rejects_everything_else) {
  for (const char* token :
       {"",    "4294967296", "4294967300", "42949672950", "99999999999", "05000000000",
        "-0",  "-5",         "+",          "-",           "++1",         "+-1",
        "-+1", "1+",         "1.0",        "1e3",         "12abc",       "0x10",
        " 1",  "1 ",         "1_000",      "\u0663",      "\uFF11",      "1\u00B9"}) {
    EXPECT_EQ(parse_count(token), std::nullopt) << "token: " << token;
  }
}

} // namespace
} // namespace korvane::text
