// src/text/trim.h: removing leading and trailing whitespace from a data field
#pragma once

#include <string_view>

namespace korvane::text {

/// The field without its leading and trailing whitespace; whitespace inside stays.
[[nodiscard]] std::string_view trim_field(std::string_view field) noexcept;

} // namespace korvane::text
