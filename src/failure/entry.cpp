// src/failure/entry.cpp: what the module's entry points use from the failure machinery
#include "entry.h"

#include "print_failure.h"
#include "report.h"

#include <exception>
#include <unistd.h>

namespace korvane::failure {

bool failure_in_flight() noexcept {
  return std::uncaught_exceptions() > 0;
}

void prepare_thread_for_failures() noexcept {
  // The runtime's exception state is thread storage of a library loaded at run time, given to
  // each thread by malloc on first use; if that malloc fails, the C library ends the process.
  // The query is pure to the compiler: only a volatile store keeps the call.
  [[maybe_unused]] const volatile int in_flight = std::uncaught_exceptions();
}

void ffi_boundary_trap(failure_location where) noexcept {
  write_report("uncaught panic at ffi boundary", where, backtrace_style::full);
  abort_after_cleanup_failure();
}

void resume_failure(string message, failure_location where) {
  throw read_failure(std::move(message), where);
}

void write_resume_banner() {
  print_or_raise(STDERR_FILENO, "stderr",
                 "--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n",
                 failure_location::here());
  print_or_raise(STDERR_FILENO, "stderr", "Python stack trace below:\n", failure_location::here());
}

} // namespace korvane::failure
