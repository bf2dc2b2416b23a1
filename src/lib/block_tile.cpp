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
      float* to = placed_->storage[i] + placed_->first;
      const float* from = &values_[i * blocks_per_tile];
      if (blocks_ == blocks_per_tile) {
        // A size known when compiling copies without a call.
        std::memcpy(to, from, blocks_per_tile * sizeof(float));
      } else {
        std::memcpy(to, from, blocks_ * sizeof(float));
      }
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
