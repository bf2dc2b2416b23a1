// src/lib/data_line.h: a data line's values, taken by the fastest route that reads it
#pragma once

#include "block_tile.h"
#include "column_plan.h"
#include "fields.h"
#include "line_source.h"
#include "numbered_lines.h"
#include "text/simulation_line.h"
#include "text/utf8.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvane::reader {

/// The bytes of a data line of `fields` fields that its reading looks at: the fields, the
/// character the last one ends in, and the text a failure's message shows.
std::size_t data_line_keep(std::uint32_t fields, std::uint32_t width) noexcept;

/// Appends the values of the data line's first `fields` fields to the tile's columns of the
/// parameters from `first` on.
template <std::uint32_t known_width>
void read_data_line(const numbered_lines& lines, const next_line_result& data_line,
                    std::uint32_t width, std::uint32_t fields, const column_plan& plan,
                    block_tile& tile, std::size_t first) {
  const line text = data_line.text;
  // Every offset of an ASCII line is a character boundary: when the line covers all its
  // fields, they are cut without a check each.
  const bool all_in_range = data_line.ascii && text.size() >= std::size_t{fields} * width;
  for (std::uint32_t j = 0; j < fields; ++j) {
    const std::string_view field =
        all_in_range ? std::string_view(text.data() + std::size_t{j} * width, width)
                     : cut_field(lines, data_line, j, width);
    const std::uint32_t target = plan.target(first + j);
    if (target == column_plan::not_read) {
      continue;
    }
    const text::f32_result result = field_of_width<known_width>(field.data(), width);
    if (!result) {
      raise_parse_failure(lines, data_line, j, width, result.error);
    }
    tile.put(target, result.value);
  }
}

static_assert(text::simulation_line_overread <= line_source::overread);

/// Takes the next line when it is a full data line that the simulation line reader decides,
/// sending its values to the tile's columns from `first` on. Such a line holds nothing but the
/// layout's bytes up to its terminator, so it is ASCII and no failure can come from it.
inline bool take_simulation_line(numbered_lines& lines, text::simulation_line_reader read_line,
                                 std::uint32_t width, const column_plan& plan, block_tile& tile,
                                 std::size_t first) {
  const std::size_t length = std::size_t{fields_per_line} * width;
  const peeked_line peeked = lines.source.peek_line(length);
  std::array<float, fields_per_line> values;
  if (peeked.text == nullptr || !read_line(peeked.text, values.data())) {
    return false;
  }
  lines.source.skip_line(peeked);
  ++lines.count;
  for (std::uint32_t j = 0; j < fields_per_line; ++j) {
    tile.put(plan.target(first + j), values[j]);
  }
  return true;
}

/// Takes the next line when it is a full data line of ASCII text whose terminator is in the read
/// buffer, converting only the fields that are read: no field of such a line lies outside it, so
/// the others cannot fail.
template <std::uint32_t known_width>
bool take_partly_read_line(numbered_lines& lines, std::uint32_t width, const column_plan& plan,
                           block_tile& tile, std::size_t first) {
  const std::size_t length = std::size_t{fields_per_line} * width;
  const peeked_line peeked = lines.source.peek_line(length);
  if (peeked.text == nullptr || text::ascii_prefix_length({peeked.text, length}) != length) {
    return false;
  }
  // The line stays in the buffer until the next line is asked for.
  lines.source.skip_line(peeked);
  ++lines.count;
  const next_line_result data_line{
      next_line_result::outcome::found, {peeked.text, length}, io_error::from_os(0), true};
  read_data_line<known_width>(lines, data_line, width, fields_per_line, plan, tile, first);
  return true;
}

} // namespace korvane::reader
