// src/lib/block_count.h: the blocks of a whole plot file, counted by several threads, and where
// each thread's share of them starts
#pragma once

#include "lib.h"
#include "posix.h"

#include <cstdint>

namespace korvane::reader {

/// Counts the lines of the blocks of the whole file that parts holds open (its head read, its
/// index not extended), which is file_size bytes long: one thread counts the line feeds of each
/// of `count` equal parts of it, and a few short scans then find where the complete blocks end
/// and where each share of them starts, without an index of every block. The last line counts
/// without a line feed, as a read of the whole file counts it.
[[nodiscard]] block_shares count_block_shares(const plot_parts& parts, std::uint64_t file_size,
                                              std::uint64_t count, posix::stop_check stop);

} // namespace korvane::reader
