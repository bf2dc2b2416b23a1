// src/failure/allocate.cpp: the one place where the module asks for memory
#include <korvane/checked_allocator.h>
#include <korvane/read_failure.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace korvane::failure {

void* allocate_bytes(std::size_t count, std::size_t size) {
  if (size != 0 && count > static_cast<std::size_t>(PTRDIFF_MAX) / size) {
    raise_failure("capacity overflow");
  }
  void* memory = std::malloc(count * size == 0 ? 1 : count * size);
  if (memory == nullptr) {
    std::abort();
  }
  return memory;
}

void free_bytes(void* memory) noexcept { std::free(memory); }

} // namespace korvane::failure
