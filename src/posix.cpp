// src/posix.cpp: the C library's system calls behind posix::calls
#include "posix.h"

#include <fcntl.h>
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
