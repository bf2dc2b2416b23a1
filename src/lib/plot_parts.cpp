// src/lib/plot_parts.cpp: a plot file held open, its blocks indexed, read a few blocks at a time
#include "block_count.h"
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
#include "run_split.h"
#include "share_threads.h"
#include "width.h"

#include <algorithm>
#include <atomic>
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

// How a share of a read is read.
struct share_job {
  const reader::column_plan& plan;
  column_storage storage;
  std::size_t read_size;
  posix::stop_check stop;
  const std::atomic<bool>* cancelled;
};

// Reads a share's runs into their places in the storage, each run from its own positional
// source.
void read_share(const plot_parts& parts, const reader::run_share& share, const share_job& job,
                reader::block_log& log, columns& data) {
  std::uint64_t place = share.place;
  for (const reader::share_run& placed : share.runs) {
    const block_run& run = placed.blocks;
    reader::plot_input input(parts.file.get(), parts.packing, line_source::input::whole,
                             job.read_size, job.stop, placed.start);
    reader::numbered_lines lines = lines_at(input.lines(), parts, run.first);
    reader::dispatch_blocks(
        lines, {.width = *parts.width,
                .plan = job.plan,
                .span = {},
                .header_taken = false,
                .input_grows = false,
                .log = log,
                .data = data,
                .block_limit = run.last - run.first,
                .placed = reader::placement{job.storage, static_cast<std::size_t>(place)},
                .cancelled = job.cancelled});
    place += run.last - run.first;
  }
}

// Where a whole file's complete blocks end, and the lines of the block it ends inside.
struct block_tail {
  std::uint64_t blocks;
  std::uint64_t complete_end;
  std::uint64_t lines;
};

// Fails as a read of every block fails in the block the file ends inside: its lines are read, so
// that a failure within them, or a last line cut short, is told as that read tells it, before
// the missing line.
[[noreturn]] void fail_in_tail(const plot_parts& parts, block_tail tail,
                               const reader::column_plan& plan, const plot_request& request) {
  const std::uint64_t blocks = tail.blocks;
  reader::plot_input input(parts.file.get(), parts.packing, line_source::input::whole,
                           request.read_size, request.stop, tail.complete_end);
  reader::numbered_lines lines = lines_at(input.lines(), parts, blocks);
  reader::block_log log;
  columns scratch(plan.parameters());
  reader::dispatch_blocks(lines, {.width = *parts.width,
                                  .plan = plan,
                                  .span = {},
                                  .header_taken = false,
                                  .input_grows = false,
                                  .log = log,
                                  .data = scratch,
                                  .block_limit = 1});
  // The file has changed since it was indexed, and the block is whole now; the index still
  // tells where it ended.
  raise_failure("Error reading line",
                {.line_number = parts.index.lines_before(blocks) + tail.lines + 1,
                 .block = blocks + 1,
                 .kind = failure_kind::missing_data_line});
}

// The threads a read of runs takes: threads_for_bytes of its blocks' bytes; one for a compressed
// file.
std::uint64_t threads_for(const plot_parts& parts, const block_runs& runs,
                          const plot_request& request) noexcept {
  if (parts.packing != compression::none) {
    // Each thread would decompress the stream from its start.
    return 1;
  }
  std::uint64_t bytes = 0;
  for (const block_run& run : runs) {
    bytes += parts.index.start_or_end(run.last) - parts.index.start_or_end(run.first);
  }
  return threads_for_bytes(request, bytes);
}

// Reads the shares, each on a thread of its own, into storage (when given) or columns allocated
// at their final size, then fails in the block a whole file ends inside (tail, when given).
plot_contents read_run_shares(const plot_parts& parts, const reader::run_shares& shares,
                              std::uint64_t blocks, std::optional<block_tail> tail,
                              const plot_request& request, std::optional<column_storage> storage) {
  const positions chosen = chosen_parameters(parts, request);
  const reader::column_plan plan(parts.count, chosen);
  plot_contents contents = reader::contents_before_blocks(parts.title, parts.names, chosen);
  std::vector<float*, checked_allocator<float*>> own_storage;
  if (!storage) {
    // Every value has its place: the columns are allocated once, at their final size.
    for (column& values : contents.data) {
      values.allocate_for_placing(static_cast<std::size_t>(blocks));
      own_storage.push_back(values.placing_data());
    }
    storage = own_storage;
  } else {
    contents.data.clear();
  }
  std::vector<reader::block_log, checked_allocator<reader::block_log>> logs(
      shares.size(), reader::block_log{.keep_headers = request.keep_block_headers});
  reader::read_shares(
      shares.size(),
      [&](std::size_t share, const std::atomic<bool>& cancelled, posix::stop_check stop) {
        read_share(parts, shares[share], {plan, *storage, request.read_size, stop, &cancelled},
                   logs[share], contents.data);
      },
      request.stop);
  if (tail && tail->lines != 0) {
    fail_in_tail(parts, *tail, plan, request);
  }
  contents.blocks = blocks;
  for (reader::block_log& log : logs) {
    for (string& header : log.headers) {
      contents.block_headers.push_back(std::move(header));
    }
  }
  return contents;
}

// The file's head read, its index made but not extended.
plot_parts head_of(posix::file_descriptor file, compression packing, const plot_request& request) {
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
  return parts;
}

} // namespace

plot_parts open_plot_parts(std::string_view file_path, const plot_request& request) {
  return open_plot_parts(open_plot_file(file_path, request.stop), request);
}

plot_parts open_plot_parts(posix::file_descriptor file, const plot_request& request) {
  const compression packing =
      request.decompress ? compression_of_file(file.get()) : compression::none;
  plot_parts parts = head_of(std::move(file), packing, request);
  update_plot_parts(parts, request.stop);
  return parts;
}

shared_plot share_plot_file(posix::file_descriptor file, const plot_request& request,
                            std::uint64_t threads) {
  plot_parts parts = head_of(std::move(file), compression::none, request);
  parts.whole = true;
  if (!parts.width) {
    parts.width = told_width(parts, request.stop);
  }
  const std::uint64_t size = posix::regular_file_size(parts.file.get());
  block_shares shares = reader::count_block_shares(parts, size, threads, request.stop);
  return {std::move(parts), std::move(shares)};
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

std::uint64_t threads_for_bytes(const plot_request& request, std::uint64_t bytes) noexcept {
  const std::uint64_t most = request.threads == 0 ? posix::usable_cores() : request.threads;
  return request.threads_as_given ? most
                                  : std::clamp<std::uint64_t>(bytes / bytes_per_thread, 1, most);
}

std::uint64_t blocks_in(const block_runs& runs) noexcept {
  std::uint64_t total = 0;
  for (const block_run& run : runs) {
    total += run.last - run.first;
  }
  return total;
}

positions chosen_parameters(const plot_parts& parts, const plot_request& request) {
  return reader::chosen_or_all({parts.count, parts.title, parts.names}, request);
}

plot_contents read_plot_runs(const plot_parts& parts, const block_runs& runs,
                             const plot_request& request, std::optional<column_storage> storage) {
  const reader::run_shares shares =
      reader::split_runs(runs, threads_for(parts, runs, request), parts.index);
  const std::optional<block_tail> tail =
      parts.whole ? std::optional<block_tail>({parts.index.blocks(), parts.index.complete_end(),
                                               parts.index.tail_lines()})
                  : std::nullopt;
  return read_run_shares(parts, shares, blocks_in(runs), tail, request, storage);
}

plot_contents read_shared_plot(const shared_plot& shared, const plot_request& request,
                               std::optional<column_storage> storage) {
  const block_shares& counted = shared.shares;
  reader::run_shares shares(counted.runs.size());
  for (std::size_t i = 0; i < shares.size(); ++i) {
    shares[i].runs.push_back({counted.runs[i], counted.starts[i]});
    shares[i].place = counted.runs[i].first;
  }
  return read_run_shares(shared.parts, shares, counted.blocks,
                         block_tail{counted.blocks, counted.complete_end, counted.tail_lines},
                         request, storage);
}

} // namespace korvane
