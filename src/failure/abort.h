// src/failure/abort.h: the one way the module ends the process
#pragma once

#include <string_view>

namespace korvane::failure {

/// Writes the message (nothing when it is empty) to standard error, then calls abort().
[[noreturn]] void abort_process(std::string_view message) noexcept;

} // namespace korvane::failure
