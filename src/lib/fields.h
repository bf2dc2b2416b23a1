// src/lib/fields.h: the cutting of a data line's fields, their conversion and their failures
#pragma once

#include "numbered_lines.h"
#include "text/field_parse.h"
#include "text/float_parse.h"

#include <cstdint>
#include <string_view>

namespace korvane::reader {

/// The site of field j of the data line read last.
read_site field_site(const numbered_lines& lines, const next_line_result& data_line,
                     std::uint32_t j, std::uint32_t width) noexcept;

/// Field j of the data line read last: bytes [j * width, (j + 1) * width). A last line without
/// its line feed that ends before the field is one a writer was cut off in: the input ends
/// inside its block.
std::string_view cut_field(const numbered_lines& lines, const next_line_result& data_line,
                           std::uint32_t j, std::uint32_t width);

/// Raises the failure of field j, whose conversion failed.
[[noreturn]] void raise_parse_failure(const numbered_lines& lines,
                                      const next_line_result& data_line, std::uint32_t j,
                                      std::uint32_t width, text::float_error error);

/// The widths the simulation code writes get a copy of the loop that knows its width; 0 stands
/// for any other width, known only when reading.
template <std::uint32_t known_width>
text::f32_result field_of_width(const char* field, std::uint32_t width) noexcept {
  if constexpr (known_width == 0) {
    return text::parse_field({field, width});
  } else {
    return text::parse_field_of_width<known_width>(field);
  }
}

} // namespace korvane::reader
