// src/lib/fields.cpp: the cutting of a data line's fields, their conversion and their failures
#include "fields.h"

#include "text/slice_message.h"
#include "text/utf8.h"

namespace korvane::reader {

read_site field_site(const numbered_lines& lines, const next_line_result& data_line,
                     std::uint32_t j, std::uint32_t width) noexcept {
  read_site site = lines.site_of(data_line);
  site.has_field = true;
  site.field_index = j;
  site.field_start = std::size_t{j} * width;
  site.field_end = site.field_start + width;
  site.kind = failure_kind::bad_field;
  return site;
}

std::string_view cut_field(const numbered_lines& lines, const next_line_result& data_line,
                           std::uint32_t j, std::uint32_t width) {
  const line text = data_line.text;
  const std::size_t start = std::size_t{j} * width;
  const std::size_t end = start + width;
  if (end > text.size() || !text::is_char_boundary(text, start) ||
      !text::is_char_boundary(text, end)) {
    read_site site = field_site(lines, data_line, j, width);
    const bool cut_off = data_line.unterminated && end > data_line.length();
    site.kind = cut_off ? failure_kind::missing_data_line : failure_kind::field_outside_line;
    raise_failure(text::slice_message(text, start, end), site);
  }
  return text.substr(start, width);
}

void raise_parse_failure(const numbered_lines& lines, const next_line_result& data_line,
                         std::uint32_t j, std::uint32_t width, text::float_error error) {
  raise_failure("Could not parse line", text::describe(error),
                field_site(lines, data_line, j, width));
}

} // namespace korvane::reader
