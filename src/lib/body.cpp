// src/lib/body.cpp: the blocks after the head, with the width given or told by the first data
// line
#include "body.h"

#include "block_headers.h"
#include "choices.h"
#include "width.h"

namespace korvane::reader {

plot_contents contents_before_blocks(const string& title, const line_texts& names,
                                     const positions& chosen) {
  plot_contents contents;
  contents.title = title;
  contents.names = names_at(names, chosen);
  contents.data = columns(chosen.size());
  return contents;
}

void read_body(numbered_lines& lines, std::optional<std::uint32_t>& width, const column_plan& plan,
               block_span span, bool keep_block_headers, bool input_grows,
               plot_contents& contents) {
  block_log log{.keep_headers = keep_block_headers};
  const std::uint64_t blocks_before = lines.blocks;
  bool header_taken = false;
  if (!width && plan.parameters() == 0) {
    // Without data lines any width reads the file.
    width = 1;
  }
  if (!width && take_header(lines, log)) {
    header_taken = true;
    width =
        width_of_first_data_line(lines, static_cast<std::uint32_t>(plan.parameters()), input_grows);
    if (!width) {
      drop_header(lines, log);
    }
  }
  if (width) {
    dispatch_blocks(lines, {*width, plan, span, header_taken, input_grows, log, contents.data});
  }
  contents.blocks = lines.complete.blocks - blocks_before;
  contents.block_headers = std::move(log.headers);
}

} // namespace korvane::reader
