// src/lib/stdout_stream.cpp: the module's own line-buffered writes to standard output
#include "stdout_stream.h"

#include "failure/print_failure.h"

#include <unistd.h>

namespace korvane {

void print_line(std::string_view line_with_feed) {
  failure::print_or_raise(STDOUT_FILENO, "stdout", line_with_feed, failure_location::here());
}

} // namespace korvane
