// src/lib/block_count.cpp: the blocks of a whole plot file, counted by several threads, and where
// each thread's share of them starts
#include "block_count.h"

#include "share_threads.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <immintrin.h>
#include <korvane/read_failure.h>
#include <vector>

namespace korvane::reader {

namespace {

// Bytes per read of the short scans for one line feed.
constexpr std::size_t seek_buffer_size = std::size_t{1} << 16;

using byte_buffer = std::vector<char, checked_allocator<char>>;

[[gnu::target("avx2,popcnt")]] std::uint64_t line_feeds_avx2(const char* bytes, std::size_t size) {
  const __m256i line_feed = _mm256_set1_epi8('\n');
  std::uint64_t count = 0;
  std::size_t done = 0;
  for (; size - done >= 32; done += 32) {
    const __m256i chunk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + done));
    count += static_cast<std::uint64_t>(std::popcount(
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(chunk, line_feed)))));
  }
  return count + static_cast<std::uint64_t>(std::count(bytes + done, bytes + size, '\n'));
}

std::uint64_t line_feeds_in(const char* bytes, std::size_t size) {
  static const bool has_avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
  return has_avx2 ? line_feeds_avx2(bytes, size)
                  : static_cast<std::uint64_t>(std::count(bytes, bytes + size, '\n'));
}

// What a count knows of the file.
struct counted_file {
  int fd;
  // The line of a failure to read: the first of the blocks, since the lines before the failing
  // read are not counted yet.
  std::uint64_t failure_line;
};

// Reads size bytes at offset into buffer, or fails as a read of the line due fails.
std::size_t read_or_fail(const counted_file& file, byte_buffer& buffer, std::size_t size,
                         std::uint64_t offset) {
  const ssize_t got = posix::read_at(file.fd, buffer.data(), size, offset);
  if (got < 0) {
    raise_failure("Failed to read line!", io_error::from_os(errno),
                  {.line_number = file.failure_line, .kind = failure_kind::cannot_read});
  }
  return static_cast<std::size_t>(got);
}

std::uint64_t count_line_feeds(const counted_file& file, std::uint64_t begin, std::uint64_t end) {
  byte_buffer buffer(block_index::scan_buffer_size);
  std::uint64_t count = 0;
  for (std::uint64_t at = begin; at < end;) {
    const std::size_t got = read_or_fail(
        file, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - at)),
        at);
    if (got == 0) {
      break;
    }
    count += line_feeds_in(buffer.data(), got);
    at += got;
  }
  return count;
}

// The offset after the n-th line feed (from 1) at or after from.
std::uint64_t after_line_feed_forward(const counted_file& file, std::uint64_t from,
                                      std::uint64_t n) {
  byte_buffer buffer(seek_buffer_size);
  for (std::uint64_t at = from;;) {
    const std::size_t got = read_or_fail(file, buffer, buffer.size(), at);
    for (std::size_t i = 0; i < got; ++i) {
      if (buffer[i] == '\n' && --n == 0) {
        return at + i + 1;
      }
    }
    if (got == 0) {
      return at;
    }
    at += got;
  }
}

// The offset after the n-th line feed (from 1) before `to`, counting backwards.
std::uint64_t after_line_feed_backward(const counted_file& file, std::uint64_t to,
                                       std::uint64_t n) {
  byte_buffer buffer(seek_buffer_size);
  for (std::uint64_t at = to; at > 0;) {
    const std::uint64_t from = at - std::min<std::uint64_t>(at, buffer.size());
    const std::size_t got = read_or_fail(file, buffer, static_cast<std::size_t>(at - from), from);
    for (std::size_t i = got; i > 0; --i) {
      if (buffer[i - 1] == '\n' && --n == 0) {
        return from + i;
      }
    }
    at = from;
  }
  return 0;
}

// The line feeds of each part, and where each part starts.
struct part_counts {
  std::vector<std::uint64_t, checked_allocator<std::uint64_t>> bounds;
  std::vector<std::uint64_t, checked_allocator<std::uint64_t>> line_feeds;

  // The offset after the m-th line feed (from 1) of all the parts: found from the nearer end of
  // the part that holds it.
  std::uint64_t after(const counted_file& file, std::uint64_t m) const {
    std::uint64_t before = 0;
    std::size_t part = 0;
    while (before + line_feeds[part] < m) {
      before += line_feeds[part++];
    }
    const std::uint64_t from_start = m - before;
    const std::uint64_t from_end = line_feeds[part] - from_start + 1;
    return from_start <= from_end ? after_line_feed_forward(file, bounds[part], from_start)
                                  : after_line_feed_backward(file, bounds[part + 1], from_end);
  }
};

} // namespace

block_shares count_block_shares(const plot_parts& parts, std::uint64_t file_size,
                                std::uint64_t count, posix::stop_check stop) {
  const counted_file file{parts.file.get(), parts.index.lines_before(0) + 1};
  const std::uint64_t body = parts.index.body_start();
  const std::uint64_t per_block = parts.index.lines_per_block();
  part_counts counts;
  const std::uint64_t span = file_size - body;
  for (std::uint64_t k = 0; k <= count; ++k) {
    counts.bounds.push_back(body + span / count * k + span % count * k / count);
  }
  counts.line_feeds.resize(count);
  read_shares(
      count,
      [&](std::size_t part, const std::atomic<bool>&, posix::stop_check) {
        counts.line_feeds[part] =
            count_line_feeds(file, counts.bounds[part], counts.bounds[part + 1]);
      },
      stop);
  std::uint64_t lines = 0;
  for (const std::uint64_t feeds : counts.line_feeds) {
    lines += feeds;
  }
  byte_buffer last(1);
  // A last line without a line feed counts, as a read of the whole file counts it.
  const bool unterminated =
      file_size > body && read_or_fail(file, last, 1, file_size - 1) == 1 && last[0] != '\n';
  const std::uint64_t line_feeds = lines;
  lines += unterminated ? 1 : 0;
  block_shares shares;
  shares.blocks = lines / per_block;
  shares.tail_lines = lines % per_block;
  const std::uint64_t complete_lines = shares.blocks * per_block;
  shares.complete_end = complete_lines == 0           ? body
                        : complete_lines > line_feeds ? file_size
                                                      : counts.after(file, complete_lines);
  // Share k starts with the first block that starts inside part k, if any.
  shares.runs.push_back({0, shares.blocks});
  shares.starts.push_back(body);
  std::uint64_t before = 0;
  for (std::uint64_t k = 1; k < count; ++k) {
    before += counts.line_feeds[k - 1];
    const std::uint64_t first = before / per_block + 1;
    if (first >= shares.blocks) {
      break;
    }
    if (first > shares.runs.back().first) {
      shares.runs.back().last = first;
      shares.runs.push_back({first, shares.blocks});
      shares.starts.push_back(counts.after(file, first * per_block));
    }
  }
  return shares;
}

} // namespace korvane::reader
