// src/text/decimal_fallback.h: exact conversion of any decimal form by Simple Decimal Conversion
#pragma once

#include "decimal_form.h"

#include <cstdint>

namespace korvane::text::detail {

/// Bits of the float nearest to the exact value of the form, however many digits it has.
[[nodiscard]] std::uint32_t decimal_fallback(const decimal_form& form) noexcept;

} // namespace korvane::text::detail
