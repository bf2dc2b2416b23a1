// src/posix.cpp: the C library's system calls behind posix::calls
#include "posix.h"

#include <algorithm>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane::posix {

namespace {
int open_existing(const char* path, int flags) {
  return ::open(path, flags);
}
} // namespace

system_calls calls = {open_existing, ::read, ::pread, ::write, ::close};

write_outcome write_all(int fd, std::string_view text) noexcept {
  while (!text.empty()) {
    const ssize_t written =
        retry_on_interrupt([&] { return calls.write(fd, text.data(), text.size()); });
    if (written <= 0) {
      return {false, written < 0 ? errno : 0};
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return {true, 0};
}

namespace {

file_facts facts_from(const struct stat& status) noexcept {
  return {.regular = S_ISREG(status.st_mode),
          .device = static_cast<std::uint64_t>(status.st_dev),
          .inode = static_cast<std::uint64_t>(status.st_ino),
          .size = static_cast<std::uint64_t>(status.st_size)};
}

} // namespace

std::optional<file_facts> facts_of(int fd) noexcept {
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    return std::nullopt;
  }
  return facts_from(status);
}

std::optional<file_facts> facts_at(const char* path) noexcept {
  struct stat status {};
  if (::stat(path, &status) != 0) {
    return std::nullopt;
  }
  return facts_from(status);
}

std::uint64_t regular_file_size(int fd) noexcept {
  const std::optional<file_facts> facts = facts_of(fd);
  return facts && facts->regular ? facts->size : 0;
}

void advise_huge_pages(void* begin, std::size_t bytes) noexcept {
  constexpr std::uintptr_t huge_page = std::uintptr_t{2} << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(begin);
  const std::uintptr_t first = (start + huge_page - 1) & ~(huge_page - 1);
  const std::uintptr_t last = (start + bytes) & ~(huge_page - 1);
  if (last > first) {
    madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
}

unsigned usable_cores() noexcept {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (sched_getaffinity(0, sizeof cores, &cores) != 0) {
    return 1;
  }
  return static_cast<unsigned>(std::max(1, CPU_COUNT(&cores)));
}

ssize_t read_at(int fd, char* buffer, std::size_t size, std::uint64_t offset) noexcept {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t count = retry_on_interrupt([&] {
      return calls.pread(fd, buffer + done, size - done, static_cast<off_t>(offset + done));
    });
    if (count < 0) {
      return -1;
    }
    if (count == 0) {
      break;
    }
    done += static_cast<std::size_t>(count);
  }
  return static_cast<ssize_t>(done);
}

bool seek(int fd, std::uint64_t offset) noexcept {
  return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

file_descriptor::~file_descriptor() {
  // Not retried on EINTR: on Linux the descriptor is released even then.
  if (fd_ >= 0) {
    calls.close(fd_);
  }
}

} // namespace korvane::posix
