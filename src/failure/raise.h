// src/failure/raise.h: the last step of every raise, shared by the raise functions
#pragma once

#include <korvane/read_failure.h>
#include <korvane/string.h>

namespace korvane::failure {

/// Reports the composed failure and throws it as read_failure; raised by a destructor while
/// another failure unwinds, it reports with a full backtrace and aborts instead.
[[noreturn]] void carry_failure(string message, failure_location where, const read_site& site = {});

} // namespace korvane::failure
