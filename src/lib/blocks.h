// src/lib/blocks.h: the loop over a plot file's blocks
#pragma once

#include "block_headers.h"
#include "column_plan.h"
#include "numbered_lines.h"

#include <atomic>
#include <cstdint>
#include <korvane/columns.h>
#include <optional>
#include <span>

namespace korvane::reader {

/// Where the blocks start and how large the file is, for the columns' room.
struct block_span {
  std::uint64_t first_block_start = 0;
  std::uint64_t file_size = 0;
};

/// Where a read writes its blocks' values instead of appending them to columns: each chosen
/// column's storage, and the position there of the first block read.
struct placement {
  std::span<float* const> storage;
  std::size_t first = 0;
};

/// What the reading of the blocks goes by.
struct block_job {
  std::uint32_t width;
  const column_plan& plan;
  block_span span;
  /// The first block's header line has been taken already.
  bool header_taken;
  /// A block the input ends inside is left for a later read instead of failing.
  bool input_grows;
  block_log& log;
  columns& data;
  /// The most blocks to read.
  std::uint64_t block_limit = UINT64_MAX;
  /// Where the blocks' values go; appended to data when absent.
  std::optional<placement> placed = std::nullopt;
  /// When given and set, the reading ends before the next block: another thread's read has
  /// failed, which makes this one's values useless.
  const std::atomic<bool>* cancelled = nullptr;
};

/// Reads block after block, each a header line and its data lines, up to the end of the input, the
/// block limit or a cancellation, with the width known when compiling where it is one the
/// simulation writes.
void dispatch_blocks(numbered_lines& lines, const block_job& job);

} // namespace korvane::reader
