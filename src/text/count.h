// src/text/count.h: the parameter count at the end of a plot file's first line
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace korvane::text {

/// An optional "+" and decimal digits of value up to 4294967295; nothing for any other text.
[[nodiscard]] std::optional<std::uint32_t> parse_count(std::string_view token) noexcept;

} // namespace korvane::text
