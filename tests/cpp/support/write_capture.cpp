// tests/cpp/support/write_capture.cpp: a scripted stand-in for the write system call
#include "support/write_capture.h"

#include "posix.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

namespace korvane::testing {

namespace {
write_capture* active = nullptr;
} // namespace

write_capture::write_capture(write_script script)
    : script_(std::move(script)), replaced_(posix::calls.write) {
  active = this;
  posix::calls.write = scripted_write;
}

write_capture::~write_capture() {
  posix::calls.write = replaced_;
  active = nullptr;
}

write_reply write_capture::accept_everything(int, std::size_t) {
  return {SSIZE_MAX};
}

std::string write_capture::received(int fd) const {
  const auto found = received_.find(fd);
  return found == received_.end() ? std::string() : found->second;
}

std::size_t write_capture::calls(int fd) const {
  const auto found = calls_.find(fd);
  return found == calls_.end() ? 0 : found->second;
}

ssize_t write_capture::scripted_write(int fd, const void* buffer, std::size_t size) {
  const write_reply reply = active->script_(fd, active->calls_[fd]++);
  if (reply.accepted < 0) {
    errno = reply.error;
    return -1;
  }
  const auto count = std::min(static_cast<std::size_t>(reply.accepted), size);
  active->received_[fd].append(static_cast<const char*>(buffer), count);
  return static_cast<ssize_t>(count);
}

} // namespace korvane::testing
