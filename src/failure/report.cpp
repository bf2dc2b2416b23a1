// src/failure/report.cpp: the failure report on standard error and the process-wide state behind it
#include "report.h"

#include "abort.h"
#include "backtrace.h"
#include "stderr_output.h"

#include <atomic>
#include <cstdlib>
#include <string_view>
#include <unistd.h>

namespace korvane::failure {

namespace {

// The process's style, or this value while the environment has not been read.
constexpr unsigned char undetermined = 0xff;

std::atomic<unsigned char> chosen_style{undetermined};
std::atomic<bool> note_not_yet_written{true};
// Initial-exec puts the flag in the static thread storage that every thread gets when it starts:
// the default model for a module loaded at run time gives each thread its copy on first use,
// through a malloc that may fail, and then the C library ends the process.
[[gnu::tls_model("initial-exec")]] thread_local bool composing_message = false;

backtrace_style style_from_environment() noexcept {
  const char* value = std::getenv("RUST_BACKTRACE");
  if (value == nullptr || std::string_view(value) == "0") {
    return backtrace_style::off;
  }
  return std::string_view(value) == "full" ? backtrace_style::full : backtrace_style::short_frames;
}

stderr_buffer& operator<<(stderr_buffer& out, failure_location where) noexcept {
  return out << where.file << ":" << std::uint64_t{where.line} << ":"
             << std::uint64_t{where.column};
}

} // namespace

backtrace_style process_backtrace_style() noexcept {
  unsigned char style = chosen_style.load();
  if (style == undetermined) {
    // When two threads race, the first value stored wins and both use it.
    const auto read = static_cast<unsigned char>(style_from_environment());
    style = chosen_style.compare_exchange_strong(style, read) ? read : style;
  }
  return static_cast<backtrace_style>(style);
}

std::mutex& report_lock() noexcept {
  static std::mutex lock;
  return lock;
}

void write_report(std::string_view message, failure_location where,
                  backtrace_style style) noexcept {
  const std::lock_guard guard(report_lock());
  {
    stderr_buffer header;
    header << "\nthread '<unnamed>' (" << static_cast<std::uint64_t>(::gettid()) << ") panicked at "
           << where << ":\n"
           << message << "\n";
  }
  switch (style) {
  case backtrace_style::short_frames:
  case backtrace_style::full:
    write_backtrace_block(style == backtrace_style::full);
    break;
  case backtrace_style::off:
    if (note_not_yet_written.exchange(false)) {
      write_to_stderr(run_with_note);
    }
    break;
  case backtrace_style::none:
    break;
  }
}

void abort_after_cleanup_failure(failure_location where) noexcept {
  write_report("panic in a destructor during cleanup", where, backtrace_style::none);
  abort_process("thread caused non-unwinding panic. aborting.\n");
}

composing_scope::composing_scope() noexcept {
  composing_message = true;
}

composing_scope::~composing_scope() {
  composing_message = false;
}

void abort_if_composing(std::string_view constant_message, failure_location where) noexcept {
  if (!composing_message) {
    return;
  }
  stderr_buffer notice;
  notice << "panicked at " << where << ":\n"
         << constant_message << "\nthread panicked while processing panic. aborting.\n";
  notice.flush();
  abort_process({});
}

} // namespace korvane::failure
