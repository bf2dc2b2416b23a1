// tests/cpp/support/failure_driver.cpp: runs the failure driver and reads the reports it wrote
#include "support/failure_driver.h"

namespace korvane::testing {

child_outcome run_failure_driver(const std::vector<std::string>& arguments,
                                 const std::optional<std::string>& style, child_options options) {
  options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
  options.environment.emplace_back("RUST_BACKTRACE", style);
  // A refused allocation must reach the module's own handler under AddressSanitizer too.
  options.environment.emplace_back("ASAN_OPTIONS", "allocator_may_return_null=1");
  return run_child(KORVANE_FAILURE_DRIVER, options);
}

namespace {

// The length of the "LINE:COLUMN" at the start of text, or 0 when it does not start so.
std::size_t line_and_column_length(std::string_view text) {
  const std::size_t line = text.find_first_not_of("0123456789");
  if (line == 0 || line == std::string_view::npos || text[line] != ':') {
    return 0;
  }
  const std::size_t column = text.find_first_not_of("0123456789", line + 1);
  return column == line + 1 || column == std::string_view::npos ? 0 : column;
}

} // namespace

std::string without_line_numbers(const std::string& text) {
  constexpr std::string_view marker = "panicked at ";
  std::string out;
  std::size_t done = 0;
  for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, done)) {
    const std::size_t colon = text.find(':', at + marker.size());
    if (colon == std::string::npos) {
      break;
    }
    const std::size_t length = line_and_column_length(std::string_view(text).substr(colon + 1));
    out.append(text, done, colon + 1 - done);
    done = colon + 1;
    if (length > 0) {
      out += "L:C";
      done += length;
    }
  }
  return out.append(text, done);
}

std::string report_header(int thread_id, std::string_view file, std::string_view message) {
  return "\nthread '<unnamed>' (" + std::to_string(thread_id) + ") panicked at " +
         std::string(file) + ":L:C:\n" + std::string(message) + "\n";
}

} // namespace korvane::testing
