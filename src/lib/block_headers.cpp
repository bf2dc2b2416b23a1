// src/lib/block_headers.cpp: the header line that starts each block
#include "block_headers.h"

#include "text/trim.h"

namespace korvane::reader {

bool take_header(numbered_lines& lines, block_log& log) {
  const std::optional<next_line_result> header =
      next_or_end(lines, log.keep_headers ? line_source::all : 0);
  if (!header) {
    return false;
  }
  ++lines.blocks;
  if (log.keep_headers) {
    log.headers.emplace_back(text::trim_field(header->text));
  }
  return true;
}

void drop_header(numbered_lines& lines, block_log& log) {
  --lines.blocks;
  if (log.keep_headers) {
    log.headers.pop_back();
  }
}

} // namespace korvane::reader
