// src/text/trim.cpp: removing leading and trailing whitespace from a data field
#include "trim.h"

#include "utf8.h"
#include "whitespace.h"

namespace korvane::text {

namespace {

// Offset of the first non-whitespace character, or the text's length.
std::size_t skip_leading(std::string_view s) noexcept {
  std::size_t offset = 0;
  while (offset < s.size()) {
    const auto byte = static_cast<unsigned char>(s[offset]);
    if (byte < 0x80) {
      if (!is_ascii_white_space(byte)) {
        break;
      }
      ++offset;
      continue;
    }
    const decoded_char c = decode_at(s, offset);
    if (!is_white_space(c.code_point)) {
      break;
    }
    offset += c.length;
  }
  return offset;
}

// Offset just past the last non-whitespace character; s holds at least one.
std::size_t skip_trailing(std::string_view s) noexcept {
  std::size_t end = s.size();
  while (end > 0) {
    const auto byte = static_cast<unsigned char>(s[end - 1]);
    if (byte < 0x80) {
      if (!is_ascii_white_space(byte)) {
        break;
      }
      --end;
      continue;
    }
    const std::size_t start = character_start(s, end - 1);
    if (!is_white_space(decode_at(s, start).code_point)) {
      break;
    }
    end = start;
  }
  return end;
}

} // namespace

std::string_view trim_field(std::string_view field) noexcept {
  const std::size_t start = skip_leading(field);
  if (start == field.size()) {
    return {};
  }
  const std::string_view rest = field.substr(start);
  return rest.substr(0, skip_trailing(rest));
}

} // namespace korvane::text
