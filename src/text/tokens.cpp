// src/text/tokens.cpp: splitting a line into whitespace-separated tokens
#include "tokens.h"

#include "utf8.h"
#include "whitespace.h"

namespace korvane::text {

std::optional<std::string_view> split_whitespace::next() noexcept {
  std::size_t offset = 0;
  std::size_t token_start = 0;
  bool in_token = false;
  while (offset < rest_.size()) {
    const decoded_char c = decode_at(rest_, offset);
    if (is_white_space(c.code_point)) {
      if (in_token) {
        const std::string_view token = rest_.substr(token_start, offset - token_start);
        rest_.remove_prefix(offset + c.length);
        return token;
      }
    } else if (!in_token) {
      in_token = true;
      token_start = offset;
    }
    offset += c.length;
  }
  const std::string_view token = rest_.substr(in_token ? token_start : rest_.size());
  rest_ = {};
  if (in_token) {
    return token;
  }
  return std::nullopt;
}

token_list collect_tokens(std::string_view line) {
  token_list tokens;
  tokens.reserve(4);
  split_whitespace split(line);
  while (const std::optional<std::string_view> token = split.next()) {
    tokens.push_back(*token);
  }
  return tokens;
}

} // namespace korvane::text
