// src/text/slice_message.cpp: PLACEHOLDER until the Unicode-aware message lands
#include "slice_message.h"

#include <string>

namespace korvane::text {

string slice_message(std::string_view line, std::size_t start, std::size_t end) {
  string message = "byte index ";
  message += std::to_string(start > line.size() ? start : end).c_str();
  message += " is out of bounds of `";
  message += line;
  message += "`";
  return message;
}

} // namespace korvane::text
