// include/korvane/checked_allocator.h: the allocator behind every container the module owns
#pragma once

#include <cstddef>

namespace korvane {

namespace failure {
/// Allocates count * size bytes; raises "capacity overflow" for a size that cannot be expressed
/// and aborts the process with a report when the memory is refused (raises an out_of_memory
/// failure instead while failures are quiet).
[[nodiscard]] void* allocate_bytes(std::size_t count, std::size_t size);
/// Releases memory obtained from allocate_bytes.
void free_bytes(void* memory) noexcept;
/// Resizes memory from allocate_bytes (or null) to count * size bytes, keeping its contents;
/// fails as allocate_bytes does.
[[nodiscard]] void* reallocate_bytes(void* memory, std::size_t count, std::size_t size);
/// reallocate_bytes for memory that is only hoped for: null, with memory left as it was, when
/// the size cannot be expressed or the memory is refused.
[[nodiscard]] void* try_reallocate_bytes(void* memory, std::size_t count,
                                         std::size_t size) noexcept;
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
