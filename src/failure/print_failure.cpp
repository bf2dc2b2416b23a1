// src/failure/print_failure.cpp: whole-text writes to a standard stream, failing as "failed
// printing"
#include "print_failure.h"

#include "io_error_text.h"
#include "posix.h"
#include "raise.h"

namespace korvane::failure {

namespace {

[[noreturn]] void raise_print_failure(std::string_view stream_name, const io_error& error,
                                      failure_location where) {
  const auto compose = [&](string& message) {
    message.append("failed printing to ")
        .append(stream_name)
        .append(": ")
        .append(display_form(error));
  };
  carry_failure(composed_message(compose, where), where);
}

} // namespace

void print_or_raise(int fd, std::string_view stream_name, std::string_view text,
                    failure_location where) {
  const posix::write_outcome outcome = posix::write_all(fd, text);
  if (outcome.complete || outcome.error == EBADF) {
    return;
  }
  if (outcome.error != 0) {
    raise_print_failure(stream_name, io_error::from_os(outcome.error), where);
  }
  raise_print_failure(
      stream_name, io_error::fixed(error_kind::write_zero, "failed to write whole buffer"), where);
}

} // namespace korvane::failure
