// src/text/tokens.h: splitting a line into whitespace-separated tokens
#pragma once

#include <korvane/checked_allocator.h>
#include <optional>
#include <string_view>
#include <vector>

namespace korvane::text {

/// The tokens of a line, as views into it, left to right.
using token_list = std::vector<std::string_view, checked_allocator<std::string_view>>;

/// Iterates over the maximal runs of non-whitespace characters of a line.
class split_whitespace {
public:
  explicit split_whitespace(std::string_view line) noexcept : rest_(line) {}
  /// The next token, or nothing at the end of the line.
  [[nodiscard]] std::optional<std::string_view> next() noexcept;

private:
  std::string_view rest_;
};

/// All tokens of a line, in a list that starts with room for 4.
[[nodiscard]] token_list collect_tokens(std::string_view line);

} // namespace korvane::text
