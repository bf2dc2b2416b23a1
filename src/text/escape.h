// src/text/escape.h: texts and characters written with escapes, for messages
#pragma once

#include <korvane/string.h>
#include <string_view>

namespace korvane::text {

/// Appends the valid UTF-8 text between double quotes; \" \\ \t \r \n \0 stand for those
/// characters, \u{X} for any other that is not printable or extends a grapheme.
void append_quoted(string& out, std::string_view text);

/// Appends the one character encoded by the UTF-8 bytes between single quotes: as itself when
/// printable and not grapheme-extending, else as \u{X}.
void append_quoted_char(string& out, std::string_view character);

} // namespace korvane::text
