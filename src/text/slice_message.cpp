// src/text/slice_message.cpp: the message for a data field that does not fit its line
#include "slice_message.h"

#include "escape.h"
#include "number_text.h"
#include "utf8.h"

namespace korvane::text {

namespace {

// Longer lines are cut to this many bytes, less the part of a character cut in two.
constexpr std::size_t shown_bytes = 256;

// Appends "`line`", or "`first 256 bytes`[...]" for a longer line.
void append_shown_line(string& out, std::string_view line) {
  std::string_view more;
  if (line.size() > shown_bytes) {
    line = line.substr(0, character_start(line, shown_bytes));
    more = "[...]";
  }
  out += '`';
  out += line;
  out += '`';
  out += more;
}

} // namespace

string slice_message(std::string_view line, std::size_t start, std::size_t end) {
  string message = "byte index ";
  if (start > line.size() || end > line.size()) {
    append_number(message, start > line.size() ? start : end);
    message += " is out of bounds of ";
    append_shown_line(message, line);
    return message;
  }
  const std::size_t inside = is_char_boundary(line, start) ? end : start;
  const std::size_t first = character_start(line, inside);
  const std::size_t past = first + decode_at(line, first).length;
  append_number(message, inside);
  message += " is not a char boundary; it is inside ";
  append_quoted_char(message, line.substr(first, past - first));
  message += " (bytes ";
  append_number(message, first);
  message += "..";
  append_number(message, past);
  message += ") of ";
  append_shown_line(message, line);
  return message;
}

} // namespace korvane::text
