// tests/cpp/support/write_capture.h: a scripted stand-in for the write system call
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane::testing {

/// What one call of the stand-in does: accept up to `accepted` bytes, or fail with `error`.
struct write_reply {
  ssize_t accepted;
  int error = 0;
};

/// Decides the reply to call number `call` (from 0) on descriptor `fd`.
using write_script = std::function<write_reply(int fd, std::size_t call)>;

/// Replaces posix::calls.write while it lives and keeps what each descriptor received.
class write_capture {
public:
  explicit write_capture(write_script script = accept_everything);
  write_capture(const write_capture&) = delete;
  write_capture& operator=(const write_capture&) = delete;
  ~write_capture();

  /// A script under which every write succeeds whole.
  static write_reply accept_everything(int fd, std::size_t call);

  /// All bytes descriptor fd accepted, in order.
  [[nodiscard]] std::string received(int fd) const;
  /// The number of write calls made on fd, failed ones included.
  [[nodiscard]] std::size_t calls(int fd) const;

private:
  static ssize_t scripted_write(int fd, const void* buffer, std::size_t size);

  write_script script_;
  std::map<int, std::string> received_;
  std::map<int, std::size_t> calls_;
  ssize_t (*replaced_)(int, const void*, std::size_t);
};

} // namespace korvane::testing
