// src/text/whitespace.h: the characters that separate tokens and are trimmed from fields
#pragma once

namespace korvane::text {

/// True for the 25 characters of the Unicode White_Space property.
[[nodiscard]] bool is_white_space(char32_t c) noexcept;

} // namespace korvane::text
