// src/failure/allocate.cpp: the one place where the module asks for memory
#include "abort.h"
#include "backtrace.h"
#include "raise.h"
#include "report.h"
#include "stderr_output.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <korvane/checked_allocator.h>
#include <korvane/read_failure.h>

namespace korvane::failure {

namespace {

std::atomic<bool> exhaustion_reported{false};

// Reports a refused allocation of size bytes and ends the process. Only the first report
// walks the stack: a second one may come from inside the first.
[[noreturn]] void abort_on_exhaustion(std::size_t size) noexcept {
  if (exhaustion_reported.exchange(true)) {
    stderr_buffer out;
    out << "memory allocation of " << std::uint64_t{size}
        << " bytes failed\nskipping backtrace printing to avoid potential recursion\n";
    out.flush();
    abort_process({});
  }
  {
    const std::lock_guard guard(report_lock());
    {
      stderr_buffer out;
      out << "memory allocation of " << std::uint64_t{size} << " bytes failed\n";
    }
    const backtrace_style style = process_backtrace_style();
    if (style == backtrace_style::off) {
      write_to_stderr(run_with_note);
    } else {
      write_backtrace_block(style == backtrace_style::full);
    }
  }
  abort_process({});
}

// A refused allocation: thrown as an out_of_memory failure while failures are quiet, whose
// caller goes on, and the end of the process otherwise. The quiet failure's message is empty, so
// that making it needs no memory.
[[noreturn]] void refuse(std::size_t size) {
  if (quiet_failures::active()) {
    carry_failure(string(), failure_location::here(), {.kind = failure_kind::out_of_memory});
  }
  abort_on_exhaustion(size);
}

// count * size, or "capacity overflow" for a size no allocation can have.
std::size_t checked_size(std::size_t count, std::size_t size) {
  if (size != 0 && count > static_cast<std::size_t>(PTRDIFF_MAX) / size) {
    raise_failure("capacity overflow", {.kind = failure_kind::out_of_memory});
  }
  return count * size;
}

} // namespace

void* allocate_bytes(std::size_t count, std::size_t size) {
  const std::size_t bytes = checked_size(count, size);
  void* memory = std::malloc(bytes == 0 ? 1 : bytes);
  if (memory == nullptr) {
    refuse(bytes);
  }
  return memory;
}

void* reallocate_bytes(void* memory, std::size_t count, std::size_t size) {
  const std::size_t bytes = checked_size(count, size);
  void* resized = std::realloc(memory, bytes == 0 ? 1 : bytes);
  if (resized == nullptr) {
    refuse(bytes);
  }
  return resized;
}

void* try_reallocate_bytes(void* memory, std::size_t count, std::size_t size) noexcept {
  if (size != 0 && count > static_cast<std::size_t>(PTRDIFF_MAX) / size) {
    return nullptr;
  }
  // As in reallocate_bytes, never a size of 0, with which realloc would free the memory.
  const std::size_t bytes = count * size;
  return std::realloc(memory, bytes == 0 ? 1 : bytes);
}

void free_bytes(void* memory) noexcept {
  std::free(memory);
}

} // namespace korvane::failure
