// include/korvane/checked_allocator.h: the allocator behind every container the module owns
#pragma once

#include <cstddef>

namespace korvane {

namespace failure {
/// Allocates count * size bytes; raises "capacity overflow" for a size that cannot be expressed
/// and aborts the process with a report when the memory is refused.
[[nodiscard]] void* allocate_bytes(std::size_t count, std::size_t size);
/// Releases memory obtained from allocate_bytes.
void free_bytes(void* memory) noexcept;
/// Maps size bytes of zeroed memory, a multiple of the page size; aborts like allocate_bytes.
[[nodiscard]] void* map_bytes(std::size_t size);
/// Grows memory from map_bytes to new_size bytes, moving its pages rather than copying them.
[[nodiscard]] void* remap_bytes(void* memory, std::size_t old_size, std::size_t new_size);
/// Releases memory obtained from map_bytes or remap_bytes.
void unmap_bytes(void* memory, std::size_t size) noexcept;
} // namespace failure

/// Standard allocator that sends every request through failure::allocate_bytes.
template <class T>
struct checked_allocator {
  using value_type = T;

  checked_allocator() noexcept = default;
  template <class U>
  checked_allocator(const checked_allocator<U>&) noexcept {}

  [[nodiscard]] T* allocate(std::size_t count) {
    return static_cast<T*>(failure::allocate_bytes(count, sizeof(T)));
  }
  void deallocate(T* memory, std::size_t) noexcept { failure::free_bytes(memory); }

  template <class U>
  bool operator==(const checked_allocator<U>&) const noexcept {
    return true;
  }
};

} // namespace korvane
