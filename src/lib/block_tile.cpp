// src/lib/block_tile.cpp: the values of a few blocks, held column by column on their way to the
// columns
#include "block_tile.h"

#include <cstring>

namespace korvane::reader {

void block_tile::flush() {
  if (blocks_ == 0) {
    return;
  }
  if (placed_) {
    for (std::size_t i = 0; i < column_count_; ++i) {
      std::memcpy(placed_->storage[i] + placed_->first, &values_[i * blocks_per_tile],
                  blocks_ * sizeof(float));
    }
    placed_->first += blocks_;
  } else if (blocks_ == blocks_per_tile) {
    for (std::size_t i = 0; i < data_.size(); ++i) {
      data_[i].append<blocks_per_tile>(&values_[i * blocks_per_tile]);
    }
  } else {
    for (std::size_t i = 0; i < data_.size(); ++i) {
      data_[i].append(&values_[i * blocks_per_tile], blocks_);
    }
  }
  blocks_ = 0;
}

} // namespace korvane::reader
