// src/lib/numbered_lines.cpp: the lines of a plot file with their numbers, for failures that
// name a line
#include "numbered_lines.h"

#include "decompressing_source.h"

namespace korvane::reader {

namespace {

// Every I/O error met while reading a line is raised from here. A first line that cannot be
// read from a file that starts as gzip output does is most likely compressed.
[[noreturn]] void raise_read_error(const numbered_lines& lines, const io_error& error) {
  if (is_decompression_fault(error)) {
    raise_failure(error.fixed_message(), lines.next_site(failure_kind::bad_compressed_data));
  }
  constexpr std::string_view gzip_magic = "\x1f\x8b";
  const bool compressed = lines.count == 0 && lines.source.input_starts_with(gzip_magic);
  raise_failure("Failed to read line!", error,
                lines.next_site(compressed ? failure_kind::compressed : failure_kind::cannot_read));
}

} // namespace

std::optional<next_line_result> next_or_end(numbered_lines& lines, std::size_t keep,
                                            line_observer* observer) {
  next_line_result next = lines.source.next_line(keep, observer);
  if (next.what == next_line_result::outcome::error) {
    raise_read_error(lines, next.error);
  }
  if (next.what == next_line_result::outcome::end) {
    return std::nullopt;
  }
  ++lines.count;
  return next;
}

} // namespace korvane::reader
