// src/lib/body.h: the blocks after the head, with the width given or told by the first data line
#pragma once

#include "blocks.h"
#include "column_plan.h"
#include "lib.h"
#include "numbered_lines.h"

#include <cstdint>
#include <optional>

namespace korvane::reader {

/// The contents of a read of the chosen parameters before any block: the title, their names and
/// their empty columns.
plot_contents contents_before_blocks(const string& title, const line_texts& names,
                                     const positions& chosen);

/// Reads the blocks that follow the names (or the last complete block) into contents by the
/// plan, with the width given or, when there is none, told by the first data line, which then
/// sets it.
void read_body(numbered_lines& lines, std::optional<std::uint32_t>& width, const column_plan& plan,
               block_span span, bool keep_block_headers, bool input_grows, plot_contents& contents);

} // namespace korvane::reader
