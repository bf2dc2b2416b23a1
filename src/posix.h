// src/posix.h: the system calls the module makes, replaceable by tests
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <sys/types.h>

namespace korvane::posix {

/// The system calls behind the module's file and stream I/O; tests swap in failing versions.
struct system_calls {
  int (*open)(const char* path, int flags);
  ssize_t (*read)(int fd, void* buffer, std::size_t size);
  ssize_t (*pread)(int fd, void* buffer, std::size_t size, off_t offset);
  ssize_t (*write)(int fd, const void* buffer, std::size_t size);
  int (*close)(int fd);
};

/// The calls in use; the C library's by default.
extern system_calls calls;

/// Why a reader asks whether to stop.
enum class stop_reason : bool {
  /// A system call was interrupted by a signal.
  interrupted,
  /// A few megabytes were read since the last question.
  progress,
};

/// Asked by a reader, which holds no lock meanwhile, whether to stop. True stops the read, which
/// then fails as the interrupted call does (EINTR). It may end the thread by unwinding
/// (pthread_exit), so the frames that call it are not noexcept.
using stop_check = bool (*)(stop_reason why);

/// Repeats a system call for as long as a signal interrupts it, unless stop (when given) says to
/// stop after an interruption: then the call's failure (EINTR) is returned.
template <class Call>
auto retry_on_interrupt(Call call, stop_check stop = nullptr) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR) {
      return result;
    }
    if (stop != nullptr && stop(stop_reason::interrupted)) {
      // The check may have made system calls of its own.
      errno = EINTR;
      return result;
    }
  }
}

/// How write_all ended: complete, or stopped by a failed write (its errno) or by a write that
/// accepted nothing (error 0).
struct write_outcome {
  bool complete;
  int error;
};

/// Writes all of text to fd, repeating interrupted writes and continuing partial ones.
[[nodiscard]] write_outcome write_all(int fd, std::string_view text) noexcept;

/// The size of the regular file open as fd; 0 for anything else (a pipe, a device) or when it
/// cannot be told.
[[nodiscard]] std::uint64_t regular_file_size(int fd) noexcept;

/// Asks the kernel to back the whole 2 MiB pages within [begin, begin + bytes) with huge pages
/// when first touched: a fault then maps 2 MiB instead of 4 KiB, which made fresh memory about
/// a sixth faster to fill. Advice only: nothing fails.
void advise_huge_pages(void* begin, std::size_t bytes) noexcept;

/// The processors the calling thread may run on (its affinity mask), at least 1.
[[nodiscard]] unsigned usable_cores() noexcept;

/// The identity and size of a file, as stat tells them.
struct file_facts {
  bool regular = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
};

/// The facts of the file open as fd; errno is set and nothing returned when they cannot be told.
[[nodiscard]] std::optional<file_facts> facts_of(int fd) noexcept;
/// The facts of the file at path, following links; errno is set and nothing returned when they
/// cannot be told.
[[nodiscard]] std::optional<file_facts> facts_at(const char* path) noexcept;
/// Reads up to size bytes at offset of the file open as fd into buffer, repeating interrupted and
/// partial reads until size bytes or the end; the bytes read, or -1 with errno set. The file's
/// read position, which a forked process shares, stays where it is.
[[nodiscard]] ssize_t read_at(int fd, char* buffer, std::size_t size,
                              std::uint64_t offset) noexcept;

/// Moves fd's read position to offset bytes from the start; false with errno set on failure.
[[nodiscard]] bool seek(int fd, std::uint64_t offset) noexcept;

/// Owns an open file descriptor and closes it when it goes out of scope.
class file_descriptor {
public:
  explicit file_descriptor(int fd) noexcept : fd_(fd) {}
  file_descriptor(file_descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  file_descriptor& operator=(file_descriptor&&) = delete;
  ~file_descriptor();

  /// The descriptor, still owned by this object.
  [[nodiscard]] int get() const noexcept { return fd_; }

private:
  int fd_;
};

} // namespace korvane::posix
