// src/lib/block_headers.h: the header line that starts each block
#pragma once

#include "lib.h"
#include "numbered_lines.h"

namespace korvane::reader {

/// The block header lines a read keeps when asked to.
struct block_log {
  bool keep_headers = false;
  line_texts headers{};
};

/// Takes the next block's header line, or tells that the input has ended. A header not kept is
/// not held either.
bool take_header(numbered_lines& lines, block_log& log);

/// Drops the header line of the block taken last, whose data lines a growing input lacks yet.
void drop_header(numbered_lines& lines, block_log& log);

} // namespace korvane::reader
