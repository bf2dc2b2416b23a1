// src/lib/run_split.cpp: a read's runs of blocks split into shares, one per thread
#include "run_split.h"

#include <algorithm>

namespace korvane::reader {

run_shares split_runs(const block_runs& runs, std::uint64_t count, const block_index& index) {
  const std::uint64_t total = blocks_in(runs);
  const std::uint64_t shares = std::max<std::uint64_t>(1, std::min(count, total));
  run_shares split(static_cast<std::size_t>(shares));
  std::uint64_t placed = 0;
  std::size_t share = 0;
  for (const block_run& run : runs) {
    for (std::uint64_t first = run.first; first < run.last;) {
      // Share i ends where the first (i + 1) * total / shares blocks end.
      const std::uint64_t share_end = (share + 1) * total / shares;
      const std::uint64_t taken = std::min(run.last - first, share_end - placed);
      split[share].runs.push_back({{first, first + taken}, index.start(first)});
      first += taken;
      placed += taken;
      if (placed == share_end && share + 1 < shares) {
        split[++share].place = placed;
      }
    }
  }
  return split;
}

} // namespace korvane::reader
