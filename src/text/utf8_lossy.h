// src/text/utf8_lossy.h: decoding bytes that may not be UTF-8, for texts of the C library
#pragma once

#include <korvane/string.h>
#include <string_view>

namespace korvane::text {

/// Appends bytes as UTF-8, each maximal ill-formed part replaced by one U+FFFD.
void append_utf8_lossy(string& out, std::string_view bytes);

} // namespace korvane::text
