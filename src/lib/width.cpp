// src/lib/width.cpp: the field width that the first data line tells
#include "width.h"

#include "column_plan.h"
#include "text/number_text.h"

#include <algorithm>
#include <korvane/read_failure.h>

namespace korvane::reader {

std::optional<std::uint32_t> width_of_first_data_line(numbered_lines& lines, std::uint32_t count,
                                                      bool input_grows) {
  const std::uint64_t start = lines.source.offset();
  const std::optional<next_line_result> data_line = next_or_end(lines, lines.width_line_keep);
  if (!data_line) {
    if (input_grows) {
      return std::nullopt;
    }
    raise_failure("Error reading line", lines.next_site(failure_kind::missing_data_line));
  }
  const std::size_t fields = std::min<std::size_t>(fields_per_line, count);
  const std::size_t length = data_line->length();
  if (length == 0 || length % fields != 0 || length / fields > UINT32_MAX) {
    string message("cannot tell the field width: the first data line is ");
    text::append_number(message, length);
    message += " bytes long, not a whole number of fields for ";
    text::append_number(message, fields);
    message += " fields; give n_digits";
    read_site site = lines.site_of(*data_line);
    // A last line without its line feed is most likely cut off, the input ending inside it.
    site.kind =
        data_line->unterminated ? failure_kind::missing_data_line : failure_kind::undecided_width;
    raise_failure(message, site);
  }
  if (data_line->passed_over != 0) {
    // Every byte of the line is a field of the width it tells, and not every byte was held.
    lines.held_too_little = true;
    return std::nullopt;
  }
  lines.source.give_back(*data_line, lines.source.offset() - start);
  --lines.count;
  return static_cast<std::uint32_t>(length / fields);
}

} // namespace korvane::reader
