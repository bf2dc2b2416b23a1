// tests/cpp/support/temp_file.cpp: plot files written to a temporary directory for one test
#include "support/temp_file.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace korvane::testing {

temp_file::temp_file(std::string_view contents) {
  std::string pattern = "/tmp/korvane_test_XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    throw std::runtime_error("mkstemp failed");
  }
  path_ = pattern;
  std::size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n <= 0) {
      ::close(fd);
      throw std::runtime_error("write failed");
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

temp_file::~temp_file() { std::remove(path_.c_str()); }

} // namespace korvane::testing
