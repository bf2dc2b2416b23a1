// src/lib/open.cpp: the opening of a plot file
#include "lib.h"
#include "posix.h"

#include <fcntl.h>
#include <korvane/read_failure.h>

namespace korvane {

posix::file_descriptor open_plot_file(std::string_view file_path, posix::stop_check stop) {
  constexpr const char* not_found = "Plot file not found!";
  if (file_path.find('\0') != std::string_view::npos) {
    raise_failure(
        not_found,
        io_error::fixed(error_kind::invalid_input, "file name contained an unexpected NUL byte"),
        {.kind = failure_kind::cannot_open});
  }
  const string path(file_path);
  const int fd = posix::retry_on_interrupt(
      [&] { return posix::calls.open(path.c_str(), O_RDONLY | O_CLOEXEC); }, stop);
  if (fd < 0) {
    raise_failure(not_found, io_error::from_os(errno), {.kind = failure_kind::cannot_open});
  }
  return posix::file_descriptor(fd);
}

} // namespace korvane
