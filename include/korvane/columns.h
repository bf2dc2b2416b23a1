// include/korvane/columns.h: the values of a plot file, one column per parameter
#pragma once

#include <cstddef>
#include <cstring>
#include <korvane/checked_allocator.h>
#include <vector>

namespace korvane {

/// One parameter's value at every timestep block, in file order. Its storage doubles when full,
/// reallocated in place or moved by the C library.
class column {
public:
  column() noexcept = default;
  column(column&& other) noexcept;
  column& operator=(column&& other) noexcept;
  column(const column&) = delete;
  column& operator=(const column&) = delete;
  ~column();

  /// Appends count values, growing the storage as needed.
  void append(const float* values, std::size_t count);
  /// Makes room for capacity values when the memory is granted; a refusal leaves the column as
  /// it was, to grow as it fills.
  void expect(std::size_t capacity) noexcept;
  /// Sets the length to size, allocating exactly that once, for values written later through
  /// placing_data() in any order and from several threads; they are unset until then, and the
  /// pages untouched, so that the threads that fill them touch them first.
  void allocate_for_placing(std::size_t size);
  /// The storage allocate_for_placing made, to be written.
  [[nodiscard]] float* placing_data() noexcept { return data_; }
  /// append for a count known when compiling, which copies without a call.
  template <std::size_t count>
  void append(const float* values) {
    while (capacity_ - size_ < count) {
      grow();
    }
    std::memcpy(data_ + size_, values, count * sizeof(float));
    size_ += count;
  }

  [[nodiscard]] const float* data() const noexcept { return data_; }
  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  [[nodiscard]] float operator[](std::size_t index) const noexcept { return data_[index]; }
  [[nodiscard]] const float* begin() const noexcept { return data_; }
  [[nodiscard]] const float* end() const noexcept { return data_ + size_; }

private:
  void grow();
  void release() noexcept;

  float* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

/// One column per parameter, in parameter order; all of the same length.
using columns = std::vector<column, checked_allocator<column>>;

} // namespace korvane
