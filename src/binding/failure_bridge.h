// src/binding/failure_bridge.h: what the binding layer needs from the failure reporting
#pragma once

#include <korvane/string.h>
#include <string_view>

namespace korvane::binding::bridge {

/// Reports "uncaught panic at ffi boundary" for a failure that escaped an entry point, then aborts.
[[noreturn]] void ffi_boundary_trap() noexcept;

/// Carries a failure with the given message to the entry point without writing a report.
[[noreturn]] void resume_failure(std::string_view message);

/// Writes the two lines that announce the resumption of a PanicException to standard error.
void write_resumption_banner();

/// The text between double quotes, with quotes, backslashes and control characters escaped.
[[nodiscard]] string quoted(std::string_view text);

} // namespace korvane::binding::bridge
