// src/stdout_stream.cpp: the module's own line-buffered writes to standard output
#include "stdout_stream.h"

#include "failure/io_error_text.h"
#include "posix.h"

#include <korvane/read_failure.h>
#include <unistd.h>

namespace korvane {

namespace {

[[noreturn]] void raise_print_failure(const io_error& error) {
  string message("failed printing to stdout: ");
  message += failure::display_form(error);
  raise_failure(message);
}

} // namespace

void print_line(std::string_view line_with_feed) {
  while (!line_with_feed.empty()) {
    const ssize_t written = posix::retry_on_interrupt([&] {
      return posix::calls.write(STDOUT_FILENO, line_with_feed.data(), line_with_feed.size());
    });
    if (written < 0) {
      if (errno == EBADF) {
        return;
      }
      raise_print_failure(io_error::from_os(errno));
    }
    if (written == 0) {
      raise_print_failure(io_error::fixed(error_kind::write_zero, "failed to write whole buffer"));
    }
    line_with_feed.remove_prefix(static_cast<std::size_t>(written));
  }
}

} // namespace korvane
