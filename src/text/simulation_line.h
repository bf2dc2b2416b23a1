// src/text/simulation_line.h: a whole data line of ten fields in the simulation's layout, read
// with vector instructions where the processor has them
#pragma once

#include <cstddef>

namespace korvane::text {

/// Fields on a full data line.
inline constexpr std::size_t simulation_line_fields = 10;

/// Bytes past a line's ten fields that a simulation line reader may read, and ignores.
inline constexpr std::size_t simulation_line_overread = 16;

/// Reads the ten fields of width W that start a line, when every one of them has the layout
/// " d.dddddE+dd" (W = 12) or " d.ddddddddE-dd" (W = 15) and its value is decided without the
/// exact methods: then it writes the ten values, each the general conversion's value of its
/// field, and answers true. Otherwise it answers false, and the values are unspecified. It reads
/// bytes [line, line + 10 * W + simulation_line_overread).
using simulation_line_reader = bool (*)(const char* line, float* values) noexcept;

/// The reader of fields of this width (12 or 15) on this processor; null when the processor
/// lacks the instructions it needs or for any other width.
[[nodiscard]] simulation_line_reader simulation_line_reader_for(unsigned width) noexcept;

} // namespace korvane::text
