// src/lib/follow_marks.h: what a follower keeps of the bytes it read, to tell a rewritten file
#pragma once

#include <cstdint>
#include <korvane/string.h>
#include <optional>

namespace korvane {

/// Bytes of a followed file already read: its first ones and the last ones before the end of
/// what was read, where the last complete block ends. A file truncated and written anew (a run
/// restarted) no longer holds them, though it may be as long again.
struct follow_marks {
  /// Bytes of the file read: the marks lie before this offset.
  std::uint64_t end = 0;
  string head;
  string tail;
};

/// The marks of the first end bytes of the file open as fd; nothing when the file no longer
/// holds a line feed just before end, where a read ended: it was rewritten meanwhile. Raises
/// read_failure (cannot_read) when the file cannot be read.
[[nodiscard]] std::optional<follow_marks> marks_of(int fd, std::uint64_t end);

/// Whether the file open as fd still holds the marks' bytes where they were read. Raises
/// read_failure (cannot_read) when the file cannot be read.
[[nodiscard]] bool marks_hold(int fd, const follow_marks& marks);

} // namespace korvane
