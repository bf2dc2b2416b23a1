// src/lib/columns.cpp: the growth of a column's storage
#include "posix.h"

#include <algorithm>
#include <korvane/checked_allocator.h>
#include <korvane/columns.h>
#include <utility>

namespace korvane {

namespace {

constexpr std::size_t first_capacity = 16;

} // namespace

column::column(column&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

column& column::operator=(column&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

column::~column() {
  release();
}

void column::append(const float* values, std::size_t count) {
  while (capacity_ - size_ < count) {
    grow();
  }
  std::copy(values, values + count, data_ + size_);
  size_ += count;
}

void column::grow() {
  const std::size_t capacity = capacity_ == 0 ? first_capacity : 2 * capacity_;
  // realloc extends in place where it can, and moves a large block by remapping its pages.
  data_ = static_cast<float*>(failure::reallocate_bytes(data_, capacity, sizeof(float)));
  capacity_ = capacity;
}

void column::expect(std::size_t capacity) noexcept {
  if (capacity <= capacity_) {
    return;
  }
  if (void* room = failure::try_reallocate_bytes(data_, capacity, sizeof(float))) {
    data_ = static_cast<float*>(room);
    capacity_ = capacity;
    posix::advise_huge_pages(data_ + size_, (capacity_ - size_) * sizeof(float));
  }
}

void column::allocate_for_placing(std::size_t size) {
  release();
  data_ = nullptr;
  size_ = capacity_ = 0;
  if (size != 0) {
    data_ = static_cast<float*>(failure::reallocate_bytes(nullptr, size, sizeof(float)));
    posix::advise_huge_pages(data_, size * sizeof(float));
  }
  size_ = capacity_ = size;
}

void column::release() noexcept {
  failure::free_bytes(data_);
}

} // namespace korvane
