// src/lib/head.h: the head of a plot file: its first line and the parameter names
#pragma once

#include "lib.h"
#include "long_line_hold.h"
#include "numbered_lines.h"

#include <cstdint>
#include <korvane/string.h>
#include <optional>

namespace korvane::reader {

/// The first line and the parameter names.
struct plot_head {
  std::uint32_t count = 0;
  string title;
  line_texts names;
};

/// Reads the first line and the name lines of its count parameters, trimmed; nothing when a
/// growing input does not hold them all yet, or when the title was not held whole.
std::optional<plot_head> read_head(numbered_lines& lines, bool input_grows,
                                   long_line_hold hold = long_line_hold::whole);

} // namespace korvane::reader
