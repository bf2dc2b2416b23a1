// src/posix.cpp: the C library's system calls behind posix::calls
#include "posix.h"

#include <fcntl.h>
#include <unistd.h>

namespace korvane::posix {

namespace {
int open_existing(const char* path, int flags) {
  return ::open(path, flags);
}
} // namespace

system_calls calls = {open_existing, ::read, ::write, ::close};

file_descriptor::~file_descriptor() {
  // Not retried on EINTR: on Linux the descriptor is released even then.
  if (fd_ >= 0) {
    calls.close(fd_);
  }
}

} // namespace korvane::posix
