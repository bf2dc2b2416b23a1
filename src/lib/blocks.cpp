// src/lib/blocks.cpp: the loop over a plot file's blocks
#include "blocks.h"

#include "block_room.h"
#include "block_tile.h"
#include "data_line.h"
#include "text/simulation_line.h"

#include <algorithm>
#include <korvane/read_failure.h>
#include <optional>

namespace korvane::reader {

namespace {

bool cancelled(const block_job& job) noexcept {
  return job.cancelled != nullptr && job.cancelled->load(std::memory_order_relaxed);
}

// Reads the data lines of a block whose header line has been taken; false when the input ends
// before them, which fails unless the input grows.
template <std::uint32_t known_width>
bool read_block_data(numbered_lines& lines, text::simulation_line_reader read_line,
                     std::uint32_t width, const column_plan& plan, block_tile& tile,
                     bool input_grows) {
  const std::size_t count = plan.parameters();
  for (std::size_t first = 0; first < count; first += fields_per_line) {
    const column_plan::line_use use = plan.use_of_line(first);
    const bool full_line = count - first >= fields_per_line;
    if (use == column_plan::line_use::all && read_line != nullptr && full_line &&
        take_simulation_line(lines, read_line, width, plan, tile, first)) {
      continue;
    }
    if (use != column_plan::line_use::all && full_line &&
        take_partly_read_line<known_width>(lines, width, plan, tile, first)) {
      continue;
    }
    const auto fields =
        static_cast<std::uint32_t>(std::min<std::size_t>(fields_per_line, count - first));
    const std::optional<next_line_result> data_line =
        next_or_end(lines, data_line_keep(fields, width));
    if (!data_line) {
      if (input_grows) {
        return false;
      }
      raise_failure("Error reading line", lines.next_site(failure_kind::missing_data_line));
    }
    read_data_line<known_width>(lines, *data_line, width, fields, plan, tile, first);
  }
  return true;
}

// Reads block after block, each a header line and its data lines, up to the end of the input or
// the block limit.
template <std::uint32_t known_width>
void read_blocks(numbered_lines& lines, const block_job& job) {
  const text::simulation_line_reader read_line = text::simulation_line_reader_for(known_width);
  block_tile tile(job.data, job.placed);
  for (std::uint64_t taken = 0; taken < job.block_limit && !cancelled(job) &&
                                ((taken == 0 && job.header_taken) || take_header(lines, job.log));
       ++taken) {
    const bool first_block = taken == 0;
    tile.start_block();
    if (!read_block_data<known_width>(lines, read_line, job.width, job.plan, tile,
                                      job.input_grows)) {
      tile.drop_block();
      drop_header(lines, job.log);
      break;
    }
    lines.mark_complete();
    if (first_block) {
      expect_blocks(job.data, job.width, job.span.file_size, job.span.first_block_start,
                    lines.source.offset());
    }
  }
  tile.flush();
}

} // namespace

void dispatch_blocks(numbered_lines& lines, const block_job& job) {
  switch (job.width) {
  case 12:
    read_blocks<12>(lines, job);
    break;
  case 15:
    read_blocks<15>(lines, job);
    break;
  default:
    read_blocks<0>(lines, job);
  }
}

} // namespace korvane::reader
