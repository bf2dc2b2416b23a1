// src/lib/numbered_lines.h: the lines of a plot file with their numbers, for failures that name
// a line
#pragma once

#include "line_source.h"

#include <cstdint>
#include <korvane/read_failure.h>
#include <optional>

namespace korvane::reader {

/// How far a read got: the bytes of the input, its lines and its blocks.
struct read_progress {
  std::uint64_t offset = 0;
  std::uint64_t lines = 0;
  std::uint64_t blocks = 0;
};

/// The line source with the number of the lines it has given, for failures that name a line.
struct numbered_lines {
  line_source& source;
  std::uint64_t count = 0;
  /// The number of the file's first data line, once the parameter names are read.
  std::uint64_t first_data_line = 0;
  /// The blocks whose header line has been read.
  std::uint64_t blocks = 0;
  /// Where the last complete part of the file ends: the names, or a block.
  read_progress complete{};
  /// The bytes held of a first data line that tells the width; a longer line, whose fields are
  /// then not all held, sets held_too_little.
  std::size_t width_line_keep = line_source::all;
  bool held_too_little = false;

  /// Marks everything read so far as complete.
  void mark_complete() noexcept { complete = {source.offset(), count, blocks}; }

  /// The site of the line due next, which is missing or could not be read.
  [[nodiscard]] read_site next_site(failure_kind kind) const noexcept {
    return {.line_number = count + 1, .block = blocks, .kind = kind};
  }
  /// The site of the line read last.
  [[nodiscard]] read_site site_of(const next_line_result& current) const noexcept {
    return {.line_number = count,
            .line_length = current.length(),
            .first_data_line = first_data_line != 0 && count == first_data_line,
            .block = blocks};
  }
};

/// The next line, or nothing at the end of the input; of a long line, the first `keep` bytes
/// are kept.
std::optional<next_line_result> next_or_end(numbered_lines& lines,
                                            std::size_t keep = line_source::all,
                                            line_observer* observer = nullptr);

} // namespace korvane::reader
