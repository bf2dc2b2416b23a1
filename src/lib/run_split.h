// src/lib/run_split.h: a read's runs of blocks split into shares, one per thread
#pragma once

#include "block_index.h"
#include "lib.h"

#include <cstdint>
#include <korvane/checked_allocator.h>
#include <vector>

namespace korvane::reader {

/// A run of blocks, and the offset in the file where its first block starts.
struct share_run {
  block_run blocks;
  std::uint64_t start = 0;
};

/// One thread's share of a read: runs of blocks in read order, and the position among the read's
/// blocks where the share's first block goes.
struct run_share {
  std::vector<share_run, checked_allocator<share_run>> runs;
  std::uint64_t place = 0;
};
using run_shares = std::vector<run_share, checked_allocator<run_share>>;

/// Splits runs, taken in order, into count shares of as equal block counts as can be (fewer
/// shares when the runs hold fewer blocks; one empty share when they hold none), the runs'
/// starts taken from the index. A run may be cut between two shares.
[[nodiscard]] run_shares split_runs(const block_runs& runs, std::uint64_t count,
                                    const block_index& index);

} // namespace korvane::reader
