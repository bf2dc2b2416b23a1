// src/failure/backtrace.h: the stack backtrace block of a failure report
#pragma once

namespace korvane::failure {

/// Writes "stack backtrace:" and the calling thread's frames, outward from the caller: all of
/// them with their code addresses when full; otherwise those outside the failure machinery, at
/// most 101 frames walked, followed by the note on the full form.
void write_backtrace_block(bool full) noexcept;

} // namespace korvane::failure
