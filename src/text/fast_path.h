// src/text/fast_path.h: Clinger's exact fast path for short mantissas and small powers of ten
#pragma once

#include "binary32.h"

#include <cstdint>

namespace korvane::text::detail {

/// Bits of mantissa * 10^power_of_ten rounded once, when both factors are exact floats.
[[nodiscard]] rounding_decision clinger_fast_path(std::uint64_t mantissa,
                                                  std::int64_t power_of_ten) noexcept;

} // namespace korvane::text::detail
