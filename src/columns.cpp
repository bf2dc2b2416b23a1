// src/columns.cpp: the growth of a column's storage
#include <algorithm>
#include <korvane/checked_allocator.h>
#include <korvane/columns.h>
#include <utility>

namespace korvane {

namespace {

// Small columns live on the heap, where copying them on growth costs little; from this size on
// the storage is mapped and grows by remapping.
constexpr std::size_t smallest_mapped_bytes = std::size_t{1} << 18;
constexpr std::size_t first_capacity = 16;

bool is_mapped(std::size_t capacity) noexcept {
  return capacity * sizeof(float) >= smallest_mapped_bytes;
}

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
  float* grown = nullptr;
  if (is_mapped(capacity_)) {
    grown = static_cast<float*>(
        failure::remap_bytes(data_, capacity_ * sizeof(float), capacity * sizeof(float)));
  } else {
    // Below the mapped size the new storage may still be on the heap; either way the few
    // values so far are copied once.
    grown =
        static_cast<float*>(is_mapped(capacity) ? failure::map_bytes(capacity * sizeof(float))
                                                : failure::allocate_bytes(capacity, sizeof(float)));
    std::copy(data_, data_ + size_, grown);
    failure::free_bytes(data_);
  }
  data_ = grown;
  capacity_ = capacity;
}

void column::release() noexcept {
  if (is_mapped(capacity_)) {
    failure::unmap_bytes(data_, capacity_ * sizeof(float));
  } else {
    failure::free_bytes(data_);
  }
}

} // namespace korvane
