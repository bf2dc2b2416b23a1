// src/lib/block_room.cpp: room in the columns for the blocks a file is judged to hold
#include "block_room.h"

#include <algorithm>

namespace korvane::reader {

// The first block may be no guide to the rest (a long header line further on, say), so the room
// is capped twice: the rest of the file holds at most rest / (columns * width) blocks, and the
// room taken in all never exceeds the rest of the file in bytes, so that a narrow width cannot
// make it reserve several times the file. Past the cap the columns grow as they fill.
void expect_blocks(columns& data, std::uint32_t width, std::uint64_t file_size, std::uint64_t start,
                   std::uint64_t end) noexcept {
  if (file_size <= end || end <= start || data.empty()) {
    return;
  }
  const std::uint64_t rest = file_size - end;
  const std::uint64_t blocks = 1 + rest / (end - start);
  // A little more, for blocks a few bytes shorter than the first.
  const std::uint64_t estimate = blocks + blocks / 64 + 16;
  const std::uint64_t bytes_per_block = data.size() * std::max<std::uint64_t>(width, sizeof(float));
  const std::uint64_t room = std::min(estimate, 1 + rest / bytes_per_block);
  for (column& values : data) {
    values.expect(static_cast<std::size_t>(room));
  }
}

} // namespace korvane::reader
