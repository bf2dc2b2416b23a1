// src/text/unicode_properties.h: the Unicode properties that decide how a character is escaped
#pragma once

namespace korvane::text {

/// False for general categories Cc, Cf, Cs, Co, Cn, Zl, Zp and Zs, except U+0020; else true.
[[nodiscard]] bool is_printable(char32_t c) noexcept;

/// True for combining characters with the Unicode property Grapheme_Extend.
[[nodiscard]] bool is_grapheme_extend(char32_t c) noexcept;

} // namespace korvane::text
