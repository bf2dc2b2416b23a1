// src/lib/plot_parts.cpp: a plot file held open, its blocks indexed, read a few blocks at a time
#include "block_headers.h"
#include "blocks.h"
#include "body.h"
#include "choices.h"
#include "column_plan.h"
#include "head.h"
#include "lib.h"
#include "line_source.h"
#include "numbered_lines.h"
#include "plot_input.h"
#include "width.h"

#include <korvane/read_failure.h>
#include <optional>

namespace korvane {

namespace {

std::uint64_t lines_per_block(std::uint32_t count) noexcept {
  return 1 + (std::uint64_t{count} + reader::fields_per_line - 1) / reader::fields_per_line;
}

// The line numbers of a read that starts at block `block`.
reader::numbered_lines lines_at(line_source& source, const plot_parts& parts,
                                std::uint64_t block) noexcept {
  reader::numbered_lines lines{.source = source,
                               .count = parts.index.lines_before(block),
                               .first_data_line = parts.index.lines_before(0) + 2,
                               .blocks = block};
  return lines;
}

// The width the first data line tells, once the index holds it whole.
std::optional<std::uint32_t> told_width(const plot_parts& parts, posix::stop_check stop) {
  const line_source::input kind =
      parts.whole ? line_source::input::whole : line_source::input::growing;
  if (parts.count == 0) {
    // Without data lines any width reads the file.
    return 1;
  }
  if (!parts.whole && parts.index.blocks() == 0 && parts.index.tail_lines() < 2) {
    return std::nullopt;
  }
  reader::plot_input input(parts.file.get(), parts.packing, kind, line_source::buffer_size, stop,
                           parts.index.body_start());
  reader::numbered_lines lines = lines_at(input.lines(), parts, 0);
  reader::block_log log;
  if (!reader::take_header(lines, log)) {
    return std::nullopt;
  }
  return reader::width_of_first_data_line(lines, parts.count, !parts.whole);
}

} // namespace

plot_parts open_plot_parts(std::string_view file_path, const plot_request& request) {
  posix::file_descriptor file = open_plot_file(file_path, request.stop);
  const compression packing =
      request.decompress ? compression_of_file(file.get()) : compression::none;
  reader::plot_input input(file.get(), packing, line_source::input::whole, line_source::buffer_size,
                           request.stop, 0);
  line_source& source = input.lines();
  reader::numbered_lines lines{source};
  reader::plot_head head = *reader::read_head(lines, false);
  plot_parts parts{.file = std::move(file),
                   .count = head.count,
                   .title = std::move(head.title),
                   .names = std::move(head.names),
                   .width = std::nullopt,
                   .index = block_index(source.offset(), lines.count, lines_per_block(head.count)),
                   .packing = packing};
  if (!request.detect_width) {
    parts.width = request.width;
  }
  if (byte_stream* stream = input.stream()) {
    // Decompressed bytes cannot be read from an offset: they are indexed in this one pass.
    parts.index.extend_from(source.buffered(), *stream, request.stop);
    parts.whole = true;
  }
  update_plot_parts(parts, request.stop);
  return parts;
}

std::uint64_t file_bytes_indexed(const plot_parts& parts) noexcept {
  return parts.packing == compression::none ? parts.index.complete_end()
                                            : posix::regular_file_size(parts.file.get());
}

void update_plot_parts(plot_parts& parts, posix::stop_check stop) {
  if (parts.packing == compression::none) {
    parts.index.extend(parts.file.get(), stop);
  }
  if (!parts.width) {
    parts.width = told_width(parts, stop);
  }
}

void take_plot_parts_whole(plot_parts& parts, posix::stop_check stop) {
  if (!parts.whole) {
    parts.whole = true;
    parts.index.end_at(posix::regular_file_size(parts.file.get()));
  }
  if (!parts.width) {
    parts.width = told_width(parts, stop);
  }
}

plot_contents read_plot_runs(const plot_parts& parts, const block_runs& runs,
                             const plot_request& request) {
  const reader::plot_head head{parts.count, parts.title, parts.names};
  const positions chosen = reader::chosen_or_all(head, request);
  const reader::column_plan plan(parts.count, chosen);
  plot_contents contents = reader::contents_before_blocks(parts.title, parts.names, chosen);
  std::uint64_t total = 0;
  for (const block_run& run : runs) {
    total += run.last - run.first;
  }
  // Every value has its place: the columns are allocated once, at their final size.
  for (column& values : contents.data) {
    values.expect(static_cast<std::size_t>(total));
  }
  reader::block_log log{.keep_headers = request.keep_block_headers};
  for (const block_run& run : runs) {
    if (run.first == run.last) {
      continue;
    }
    reader::plot_input input(parts.file.get(), parts.packing, line_source::input::whole,
                             request.read_size, request.stop, parts.index.start(run.first));
    reader::numbered_lines lines = lines_at(input.lines(), parts, run.first);
    reader::dispatch_blocks(lines, {.width = *parts.width,
                                    .plan = plan,
                                    .span = {},
                                    .header_taken = false,
                                    .input_grows = false,
                                    .log = log,
                                    .data = contents.data,
                                    .block_limit = run.last - run.first});
  }
  if (parts.whole && parts.index.tail_lines() != 0) {
    // The file ends inside a block: its next line is missing, as a read of every block finds.
    const std::uint64_t blocks = parts.index.blocks();
    raise_failure("Error reading line",
                  {.line_number = parts.index.lines_before(blocks) + parts.index.tail_lines() + 1,
                   .block = blocks + 1,
                   .kind = failure_kind::missing_data_line});
  }
  contents.blocks = total;
  contents.block_headers = std::move(log.headers);
  return contents;
}

} // namespace korvane
