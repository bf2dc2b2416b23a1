// src/failure/entry.h: what the module's entry points use from the failure machinery
#pragma once

#include <korvane/read_failure.h>
#include <korvane/string.h>

namespace korvane::failure {

/// True while a failure raised on this thread unwinds toward its entry point, that is between
/// its raise and the catch that stops it.
[[nodiscard]] bool failure_in_flight() noexcept;

/// Makes the C++ runtime's exception state of the calling thread exist now: made on first use,
/// a failure raised under memory exhaustion would need it allocated when nothing is left.
void prepare_thread_for_failures() noexcept;

/// For a catch (...) around an entry point's conversion stage: reports "uncaught panic at ffi
/// boundary" with a full backtrace, then "panic in a destructor during cleanup" without one,
/// then "thread caused non-unwinding panic. aborting.", and aborts.
[[noreturn]] void ffi_boundary_trap(failure_location where = failure_location::here()) noexcept;

/// Carries a failure with the message to the entry point without writing a report, for a
/// failure that was reported before it passed through the interpreter.
[[noreturn]] void resume_failure(string message, failure_location where = failure_location::here());

/// Writes the two lines announcing a resumed failure to standard error; a closed standard
/// error counts as success, any other write failure raises "failed printing to stderr: ".
void write_resume_banner();

} // namespace korvane::failure
