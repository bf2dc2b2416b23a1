// src/text/slice_message.h: the message for a data field that does not fit its line
#pragma once

#include <cstddef>
#include <korvane/string.h>
#include <string_view>

namespace korvane::text {

/// The message for a field [start, end) of line that lies beyond the line's end or has an end
/// inside a multi-byte character: "byte index K is out of bounds of `...`" or
/// "byte index K is not a char boundary; it is inside 'c' (bytes A..B) of `...`".
[[nodiscard]] string slice_message(std::string_view line, std::size_t start, std::size_t end);

} // namespace korvane::text
