// src/lib/block_index.cpp: where each block of a plot file starts, found by a scan for line feeds
#include "block_index.h"

#include "line_source.h"

#include <cerrno>
#include <cstring>
#include <korvane/read_failure.h>

namespace korvane {

namespace {

// Bytes per read of the scan: large enough that a read costs little next to the scan of its
// bytes, small enough to stay in the processor's cache.
constexpr std::size_t scan_buffer_size = std::size_t{1} << 20;

} // namespace

void block_index::take_line(std::uint64_t end) {
  if (++tail_lines_ == lines_per_block_) {
    starts_.push_back(tail_start_);
    tail_start_ = end;
    tail_lines_ = 0;
  }
}

void block_index::extend(int fd, posix::stop_check stop) {
  std::vector<char, checked_allocator<char>> buffer(scan_buffer_size);
  // Where the unscanned bytes start; scanned_ stays after the last line feed.
  std::uint64_t at = scanned_;
  std::uint64_t asked_at = at;
  for (;;) {
    bool stopped = false;
    if (stop != nullptr && at - asked_at >= line_source::stop_check_interval) {
      asked_at = at;
      stopped = stop(posix::stop_reason::progress);
    }
    const ssize_t got = stopped ? -1 : posix::read_at(fd, buffer.data(), buffer.size(), at);
    if (got < 0) {
      raise_failure("Failed to read line!", io_error::from_os(stopped ? EINTR : errno),
                    {.line_number = lines_before(blocks()) + tail_lines_ + 1,
                     .block = blocks(),
                     .kind = failure_kind::cannot_read});
    }
    if (got == 0) {
      return;
    }
    const char* const begin = buffer.data();
    const char* const end = begin + got;
    for (const char* p = begin; p != end; ++p) {
      p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (p == nullptr) {
        break;
      }
      scanned_ = at + static_cast<std::uint64_t>(p - begin) + 1;
      take_line(scanned_);
    }
    at += static_cast<std::uint64_t>(got);
  }
}

void block_index::end_at(std::uint64_t file_size) {
  if (file_size > scanned_) {
    scanned_ = file_size;
    take_line(file_size);
  }
}

} // namespace korvane
