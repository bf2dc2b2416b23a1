// tests/cpp/text/tokens_test.cpp: splitting lines into whitespace-separated tokens
#include "text/tokens.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane::text {
namespace {

using token_texts = std::vector<std::string>;

token_texts tokens_of(std::string_view line) {
  token_texts out;
  for (const std::string_view token : collect_tokens(line)) {
    out.emplace_back(token);
  }
  return out;
}

struct split_case {
  const char* line;
  token_texts tokens;
};

TEST(tokens_test, splits_at_whitespace_runs) {
  const split_case cases[] = {
      {"  12   apples\t", {"12", "apples"}},
      {"", {}},
      {" \t\r  \r\t ", {}},
      {"x", {"x"}},
      {"EXAMPLE 3", {"EXAMPLE", "3"}},
      {"a b  c   d", {"a", "b", "c", "d"}},
      {"\v\fa\n", {"a"}},
      {"a\u00A0b", {"a", "b"}},
      {"a\u2003b", {"a", "b"}},
      {"a\u3000b", {"a", "b"}},
      {"a\u0085b\u1680c\u205F", {"a", "b", "c"}},
      {"\u2028\u2029a\u202Fb", {"a", "b"}},
      {"\u00A0\u3000", {}},
      {"é ü", {"é", "ü"}},
      {"日本\u3000語", {"日本", "語"}},
  };
  for (const split_case& c : cases) {
    EXPECT_EQ(tokens_of(c.line), c.tokens) << "line: " << c.line;
  }
}

TEST(tokens_test, non_whitespace_controls_and_marks_stay_in_tokens) {
  const split_case cases[] = {
      {"a\u200Bb", {"a\u200Bb"}},
      {"a\x1F"
       "b",
       {"a\x1F"
        "b"}},
      {"a\uFEFFb", {"a\uFEFFb"}},
      {"\uFEFF3", {"\uFEFF3"}},
      {"a\x7F b", {"a\x7F", "b"}},
      {"x\u180Ey \u2060", {"x\u180Ey", "\u2060"}},
  };
  for (const split_case& c : cases) {
    EXPECT_EQ(tokens_of(c.line), c.tokens) << "line: " << c.line;
  }
  const std::string with_nul("a\0b c", 5);
  EXPECT_EQ(tokens_of(with_nul), (token_texts{std::string("a\0b", 3), "c"}));
}

TEST(tokens_test, tokens_are_views_into_the_line) {
  const std::string line = "  first second ";
  const token_list tokens = collect_tokens(line);
  ASSERT_EQ(tokens.size(), 2U);
  EXPECT_EQ(tokens[0].data(), line.data() + 2);
  EXPECT_EQ(tokens[1].data(), line.data() + 8);
  EXPECT_EQ(tokens[1].size(), 6U);
}

TEST(tokens_test, split_ends_and_stays_ended) {
  split_whitespace split(" one two ");
  EXPECT_EQ(split.next(), "one");
  EXPECT_EQ(split.next(), "two");
  EXPECT_EQ(split.next(), std::nullopt);
  EXPECT_EQ(split.next(), std::nullopt);
}

} // namespace
} // namespace korvane::text
