// src/lib/stdout_stream.h: the module's own line-buffered writes to standard output
#pragma once

#include <string_view>

namespace korvane {

/// Writes whole lines to file descriptor 1 at once. A closed standard output loses the text
/// silently; any other failure raises "failed printing to stdout: " and the error.
void print_line(std::string_view line_with_feed);

} // namespace korvane
