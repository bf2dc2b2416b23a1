// src/text/count.cpp: the parameter count at the end of a plot file's first line
#include "count.h"

#include <limits>

namespace korvane::text {

std::optional<std::uint32_t> parse_count(std::string_view token) noexcept {
  if (token.empty() || token == "+" || token == "-") {
    return std::nullopt;
  }
  if (token.front() == '+') {
    token.remove_prefix(1);
  }
  constexpr std::uint32_t largest = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t value = 0;
  for (const char c : token) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    const auto digit = static_cast<std::uint32_t>(c - '0');
    if (value > (largest - digit) / 10) {
      return std::nullopt;
    }
    value = value * 10 + digit;
  }
  return value;
}

} // namespace korvane::text
