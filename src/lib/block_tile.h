// src/lib/block_tile.h: the values of a few blocks, held column by column on their way to the
// columns
#pragma once

#include "blocks.h"

#include <cstddef>
#include <korvane/checked_allocator.h>
#include <korvane/columns.h>
#include <optional>
#include <vector>

namespace korvane::reader {

/// The values of up to 16 blocks, held column by column until they go to the columns together:
/// every block touches every column, and a column's storage is touched once per 16 blocks instead
/// of once per block, which keeps the memory the reader writes to within few pages at a time.
class block_tile {
public:
  explicit block_tile(columns& data) noexcept : data_(data), column_count_(data.size()) {}
  /// A tile that writes its blocks where placed tells, when given, instead of appending them to
  /// data.
  block_tile(columns& data, std::optional<placement> placed) noexcept
      : data_(data), placed_(placed), column_count_(placed ? placed->storage.size() : data.size()) {
  }

  /// Makes room for the next block's values, sending the full tile to the columns first. The
  /// tile's memory is taken with the first block: a file of parameter names only needs none.
  void start_block() {
    if (blocks_ == blocks_per_tile) {
      flush();
    }
    if (values_.empty()) {
      values_.resize(column_count_ * blocks_per_tile);
    }
    ++blocks_;
  }
  /// Sets column i's value in the current block.
  void put(std::size_t i, float value) noexcept {
    values_[i * blocks_per_tile + blocks_ - 1] = value;
  }
  /// Forgets the block started last, whose values never go to the columns.
  void drop_block() noexcept { --blocks_; }
  /// Appends the tile's blocks to the columns, or places them.
  void flush();

private:
  static constexpr std::size_t blocks_per_tile = 16;

  columns& data_;
  std::optional<placement> placed_;
  std::size_t column_count_;
  std::vector<float, checked_allocator<float>> values_;
  std::size_t blocks_ = 0;
};

} // namespace korvane::reader
