// src/failure/report.h: the failure report on standard error and the process-wide state behind it
#pragma once

#include <korvane/read_failure.h>
#include <mutex>
#include <string_view>

namespace korvane::failure {

/// How much of the stack a report shows after its message.
enum class backtrace_style : unsigned char {
  /// Nothing: neither backtrace nor note line.
  none,
  /// No backtrace; the first such report of the process adds the run-with note line.
  off,
  /// The raising code's frames, without the failure machinery, at most 101 frames walked.
  short_frames,
  /// Every frame with its code address.
  full,
};

/// The style chosen by RUST_BACKTRACE; the environment is read by the first call only.
[[nodiscard]] backtrace_style process_backtrace_style() noexcept;

/// The lock that keeps the reports of different threads from mixing.
[[nodiscard]] std::mutex& report_lock() noexcept;

/// The line that tells how to get a backtrace.
inline constexpr std::string_view run_with_note =
    "note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n";

/// Writes the header naming thread and location, the message, and what the style adds.
void write_report(std::string_view message, failure_location where, backtrace_style style) noexcept;

/// Reports "panic in a destructor during cleanup" without backtrace, then aborts: the end of
/// every failure that cannot travel to an entry point.
[[noreturn]] void
abort_after_cleanup_failure(failure_location where = failure_location::here()) noexcept;

/// Marks the calling thread as composing the message of a failure while it lives.
class composing_scope {
public:
  composing_scope() noexcept;
  composing_scope(const composing_scope&) = delete;
  composing_scope& operator=(const composing_scope&) = delete;
  ~composing_scope();
};

/// A failure raised while its thread composes another one's message cannot be reported
/// normally: writes the short notice (with constant_message, when given) and aborts.
void abort_if_composing(std::string_view constant_message, failure_location where) noexcept;

} // namespace korvane::failure
