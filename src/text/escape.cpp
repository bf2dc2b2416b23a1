// src/text/escape.cpp: texts and characters written with escapes, for messages
#include "escape.h"

#include "number_text.h"
#include "unicode_properties.h"
#include "utf8.h"

#include <cstdint>

namespace korvane::text {

namespace {

// Characters a reader could not see or that would merge with the character before them.
bool needs_code_escape(char32_t c) noexcept {
  return !is_printable(c) || is_grapheme_extend(c);
}

// "\u{X}" with X the code point in lowercase hexadecimal.
void append_code_escape(string& out, char32_t c) {
  out += "\\u{";
  append_number(out, static_cast<std::uint32_t>(c), 16);
  out += '}';
}

// The two-character escape of c, or nothing when c has none.
std::string_view short_escape(char32_t c) noexcept {
  switch (c) {
  case U'"':
    return "\\\"";
  case U'\\':
    return "\\\\";
  case U'\t':
    return "\\t";
  case U'\r':
    return "\\r";
  case U'\n':
    return "\\n";
  case U'\0':
    return "\\0";
  default:
    return {};
  }
}

} // namespace

void append_quoted(string& out, std::string_view text) {
  out += '"';
  std::size_t offset = 0;
  while (offset < text.size()) {
    const decoded_char c = decode_at(text, offset);
    if (const std::string_view escape = short_escape(c.code_point); !escape.empty()) {
      out += escape;
    } else if (needs_code_escape(c.code_point)) {
      append_code_escape(out, c.code_point);
    } else {
      out += text.substr(offset, c.length);
    }
    offset += c.length;
  }
  out += '"';
}

void append_quoted_char(string& out, std::string_view character) {
  const char32_t c = decode_at(character, 0).code_point;
  out += '\'';
  if (needs_code_escape(c)) {
    append_code_escape(out, c);
  } else {
    out += character;
  }
  out += '\'';
}

} // namespace korvane::text
