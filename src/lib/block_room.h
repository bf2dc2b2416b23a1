// src/lib/block_room.h: room in the columns for the blocks a file is judged to hold
#pragma once

#include <cstdint>
#include <korvane/columns.h>

namespace korvane::reader {

/// Makes room in every column for as many blocks as a file of file_size bytes holds, judged by
/// the bytes [start, end) of its first block, so that the columns are allocated once rather than
/// grown by doubling and copying. A file whose size is unknown (0) gets no room in advance.
void expect_blocks(columns& data, std::uint32_t width, std::uint64_t file_size, std::uint64_t start,
                   std::uint64_t end) noexcept;

} // namespace korvane::reader
