// src/lib/block_index.cpp: where each block of a plot file starts, found by a scan for line feeds
#include "block_index.h"

#include "decompressing_source.h"
#include "line_source.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <immintrin.h>
#include <korvane/read_failure.h>

namespace korvane {

void block_index::take_line(std::uint64_t end) {
  if (++tail_lines_ == lines_per_block_) {
    starts_.push_back(tail_start_);
    tail_start_ = end;
    tail_lines_ = 0;
  }
}

// Inlined into the AVX2 scan, where the bit counts are single instructions.
[[gnu::always_inline]] inline void block_index::take_line_mask(std::uint64_t mask,
                                                               std::uint64_t at) {
  if (mask == 0) {
    return;
  }
  scanned_ = at + 64 - static_cast<std::uint64_t>(std::countl_zero(mask));
  auto found = static_cast<std::uint64_t>(std::popcount(mask));
  // Each block ends at the (lines_per_block - tail_lines_)-th line feed still to come.
  for (std::uint64_t needed = lines_per_block_ - tail_lines_; found >= needed;
       needed = lines_per_block_) {
    for (std::uint64_t k = 1; k < needed; ++k) {
      mask &= mask - 1;
    }
    const std::uint64_t end = at + static_cast<std::uint64_t>(std::countr_zero(mask)) + 1;
    mask &= mask - 1;
    found -= needed;
    starts_.push_back(tail_start_);
    tail_start_ = end;
    tail_lines_ = 0;
  }
  tail_lines_ += found;
}

[[gnu::target("avx2,popcnt,bmi")]] std::size_t
block_index::take_lines_avx2(const char* begin, std::size_t size, std::uint64_t at) {
  const __m256i line_feed = _mm256_set1_epi8('\n');
  std::size_t done = 0;
  for (; size - done >= 64; done += 64) {
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(begin + done));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(begin + done + 32));
    const auto low_mask =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, line_feed)));
    const auto high_mask =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, line_feed)));
    take_line_mask(std::uint64_t{high_mask} << 32 | low_mask, at + done);
  }
  return done;
}

void block_index::take_lines(const char* begin, const char* end, std::uint64_t at) {
  static const bool has_avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
                               __builtin_cpu_supports("bmi");
  const char* p = begin;
  if (has_avx2) {
    p += take_lines_avx2(begin, static_cast<std::size_t>(end - begin), at);
  }
  for (; p != end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (p == nullptr) {
      break;
    }
    scanned_ = at + static_cast<std::uint64_t>(p - begin) + 1;
    take_line(scanned_);
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
      raise_read_failure(io_error::from_os(stopped ? EINTR : errno));
    }
    if (got == 0) {
      return;
    }
    take_lines(buffer.data(), buffer.data() + got, at);
    at += static_cast<std::uint64_t>(got);
  }
}

void block_index::extend_from(std::string_view read, byte_stream& stream, posix::stop_check stop) {
  std::vector<char, checked_allocator<char>> buffer(scan_buffer_size);
  std::uint64_t at = scanned_;
  take_lines(read.data(), read.data() + read.size(), at);
  at += read.size();
  std::uint64_t asked_at = at;
  for (;;) {
    if (stop != nullptr && at - asked_at >= line_source::stop_check_interval) {
      asked_at = at;
      if (stop(posix::stop_reason::progress)) {
        raise_read_failure(io_error::from_os(EINTR));
      }
    }
    const ssize_t got = stream.read(buffer.data(), buffer.size());
    if (got < 0) {
      raise_read_failure(stream.failure());
    }
    if (got == 0) {
      end_at(at);
      return;
    }
    take_lines(buffer.data(), buffer.data() + got, at);
    at += static_cast<std::uint64_t>(got);
  }
}

void block_index::raise_read_failure(const io_error& error) const {
  const read_site site{.line_number = lines_before(blocks()) + tail_lines_ + 1,
                       .block = blocks(),
                       .kind = is_decompression_fault(error) ? failure_kind::bad_compressed_data
                                                             : failure_kind::cannot_read};
  if (site.kind == failure_kind::bad_compressed_data) {
    raise_failure(error.fixed_message(), site);
  }
  raise_failure("Failed to read line!", error, site);
}

void block_index::end_at(std::uint64_t file_size) {
  if (file_size > scanned_) {
    scanned_ = file_size;
    take_line(file_size);
  }
}

} // namespace korvane
