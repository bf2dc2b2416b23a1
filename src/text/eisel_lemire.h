// src/text/eisel_lemire.h: the Eisel–Lemire conversion with 128-bit powers of five
#pragma once

#include "binary32.h"

#include <cstdint>

namespace korvane::text::detail {

/// Bits of the float nearest to mantissa * 10^power_of_ten, undecided when the truncated
/// 128-bit power of five cannot tell.
[[nodiscard]] rounding_decision eisel_lemire(std::uint64_t mantissa,
                                             std::int64_t power_of_ten) noexcept;

} // namespace korvane::text::detail
