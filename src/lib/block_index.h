// src/lib/block_index.h: where each block of a plot file starts, found by a scan for line feeds
#pragma once

#include "byte_stream.h"
#include "posix.h"

#include <cstddef>
#include <cstdint>
#include <korvane/checked_allocator.h>
#include <vector>

namespace korvane {

/// The byte offset of every complete block after a plot file's head, found by counting line
/// feeds: a block is its header line and a fixed number of data lines, so every lines_per_block-th
/// line feed ends one. The scan can go on from where it stopped when the file has grown.
class block_index {
public:
  /// Bytes per read of a scan: large enough that a read costs little next to the scan of its
  /// bytes, small enough to stay in the processor's second-level cache (256 KiB scanned a 1 GB
  /// file in the page cache 7% faster than 1 MiB and 15% faster than 64 KiB; the kernel's copy
  /// bounds it).
  static constexpr std::size_t scan_buffer_size = std::size_t{1} << 18;

  /// An index of the blocks that start at body_start, after the head_lines lines of the head.
  block_index(std::uint64_t body_start, std::uint64_t head_lines,
              std::uint64_t lines_per_block) noexcept
      : head_lines_(head_lines), lines_per_block_(lines_per_block), body_start_(body_start),
        scanned_(body_start), tail_start_(body_start) {}

  /// Scans the file open as fd from where the last scan stopped to its end, by positional reads
  /// into one reused buffer. An I/O error raises read_failure (cannot_read) for the line due;
  /// stop, when given, is asked as a line source asks it.
  void extend(int fd, posix::stop_check stop = nullptr);

  /// Scans a stream whole, as extend scans a file: first the bytes of it already read, which
  /// start at the index's body start, then the rest of the stream; then ends the index there
  /// (end_at). A failure of the stream raises read_failure for the line due.
  void extend_from(std::string_view read, byte_stream& stream, posix::stop_check stop = nullptr);

  /// Counts bytes after the last line feed, up to file_size, as the file's last line, as a read of
  /// a whole file does. The index is not extended afterwards.
  void end_at(std::uint64_t file_size);

  /// The number of complete blocks.
  [[nodiscard]] std::uint64_t blocks() const noexcept { return starts_.size(); }
  /// The offset of block i's header line.
  [[nodiscard]] std::uint64_t start(std::uint64_t i) const noexcept { return starts_[i]; }
  /// The offset of block i's header line, or where the complete blocks end for i == blocks().
  [[nodiscard]] std::uint64_t start_or_end(std::uint64_t i) const noexcept {
    return i == blocks() ? complete_end() : start(i);
  }
  /// Where the complete blocks end: the offset after the last one's last line.
  [[nodiscard]] std::uint64_t complete_end() const noexcept { return tail_start_; }
  /// Complete lines after the complete blocks, the start of a block not yet whole.
  [[nodiscard]] std::uint64_t tail_lines() const noexcept { return tail_lines_; }
  /// The lines of the file before block i.
  [[nodiscard]] std::uint64_t lines_before(std::uint64_t i) const noexcept {
    return head_lines_ + i * lines_per_block_;
  }
  /// Where the first block starts.
  [[nodiscard]] std::uint64_t body_start() const noexcept { return body_start_; }
  /// The number of lines in each block.
  [[nodiscard]] std::uint64_t lines_per_block() const noexcept { return lines_per_block_; }

private:
  // Takes a line that ends before offset end.
  void take_line(std::uint64_t end);
  // Takes the lines that end in the bytes [begin, end), which start at offset at of the file.
  void take_lines(const char* begin, const char* end, std::uint64_t at);
  // take_lines for the line feeds marked in mask, one bit per byte from offset at.
  void take_line_mask(std::uint64_t mask, std::uint64_t at);
  // take_lines 64 bytes at a time with AVX2; the bytes after the last whole 64 are left. Returns
  // the bytes taken.
  std::size_t take_lines_avx2(const char* begin, std::size_t size, std::uint64_t at);
  // Raises the failure of a read for the line due.
  [[noreturn]] void raise_read_failure(const io_error& error) const;

  std::uint64_t head_lines_;
  std::uint64_t lines_per_block_;
  std::uint64_t body_start_;
  // Bytes of the file scanned, up to the last line feed seen and past it.
  std::uint64_t scanned_;
  // Where the block not yet complete starts, and its complete lines.
  std::uint64_t tail_start_;
  std::uint64_t tail_lines_ = 0;
  std::vector<std::uint64_t, checked_allocator<std::uint64_t>> starts_;
};

} // namespace korvane
