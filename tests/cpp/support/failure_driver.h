// tests/cpp/support/failure_driver.h: runs the failure driver and reads the reports it wrote
#pragma once

#include "support/child_process.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::testing {

/// Runs the failure driver with RUST_BACKTRACE set to style, or removed when style is nullopt.
child_outcome run_failure_driver(const std::vector<std::string>& arguments,
                                 const std::optional<std::string>& style,
                                 child_options options = {});

/// The text with the line and column after each "panicked at FILE" replaced by "L:C".
std::string without_line_numbers(const std::string& text);

/// A report's header and message as without_line_numbers leaves it.
std::string report_header(int thread_id, std::string_view file, std::string_view message);

/// The run-with note line.
inline const std::string run_with_note =
    "note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n";

/// The last line of a short backtrace block.
inline const std::string details_note =
    "note: Some details are omitted, run with `RUST_BACKTRACE=full` for a verbose backtrace.\n";

} // namespace korvane::testing
