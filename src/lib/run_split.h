// src/lib/run_split.h: a read's runs of blocks split into shares, one per thread
#pragma once

#include "lib.h"

#include <cstdint>
#include <korvane/checked_allocator.h>
#include <vector>

namespace korvane::reader {

/// One thread's share of a read: runs of blocks in read order, and the position among the read's
/// blocks where the share's first block goes.
struct run_share {
  block_runs runs;
  std::uint64_t place = 0;
};
using run_shares = std::vector<run_share, checked_allocator<run_share>>;

/// Splits runs, taken in order, into count shares of as equal block counts as can be (fewer
/// shares when the runs hold fewer blocks; one empty share when they hold none). A run may be
/// cut between two shares.
[[nodiscard]] run_shares split_runs(const block_runs& runs, std::uint64_t count);

} // namespace korvane::reader
