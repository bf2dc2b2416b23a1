// src/lib/follow_marks.cpp: what a follower keeps of the bytes it read, to tell a rewritten file
#include "follow_marks.h"

#include "posix.h"

#include <algorithm>
#include <korvane/read_failure.h>

namespace korvane {

namespace {

// Bytes kept at each end of what was read: enough that another run's numbers differ in them.
constexpr std::uint64_t mark_size = 128;

// The size bytes at offset of the file open as fd; fewer when the file ends before.
string bytes_at(int fd, std::uint64_t offset, std::uint64_t size) {
  string bytes(static_cast<std::size_t>(size), '\0');
  const ssize_t count = posix::read_at(fd, bytes.data(), bytes.size(), offset);
  if (count < 0) {
    raise_failure("Failed to read line!", io_error::from_os(errno),
                  {.kind = failure_kind::cannot_read});
  }
  bytes.resize(static_cast<std::size_t>(count));
  return bytes;
}

} // namespace

std::optional<follow_marks> marks_of(int fd, std::uint64_t end) {
  const std::uint64_t size = std::min(end, mark_size);
  follow_marks marks{
      .end = end, .head = bytes_at(fd, 0, size), .tail = bytes_at(fd, end - size, size)};
  if (marks.tail.size() != size || (size != 0 && marks.tail.back() != '\n')) {
    return std::nullopt;
  }
  return marks;
}

bool marks_hold(int fd, const follow_marks& marks) {
  return bytes_at(fd, 0, marks.head.size()) == marks.head &&
         bytes_at(fd, marks.end - marks.tail.size(), marks.tail.size()) == marks.tail;
}

} // namespace korvane
