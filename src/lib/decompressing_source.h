// src/lib/decompressing_source.h: the decompressed bytes of a compressed plot file, made on a
// thread of their own
#pragma once

#include "byte_stream.h"
#include "compression.h"
#include "inflater.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <korvane/checked_allocator.h>
#include <mutex>
#include <thread>
#include <vector>

namespace korvane {

/// Whether an I/O error is a fault of compressed data (corrupt or cut short), whose message
/// names the packing, rather than an error of the system or of the text.
[[nodiscard]] bool is_decompression_fault(const io_error& error) noexcept;

/// Reads a gzip or zstd file from its start, by positional reads, and decompresses it on a
/// thread of its own, a few chunks ahead of the reader, which takes the bytes after the first
/// skip ones. A fault of the data fails the read that reaches it, after every byte before it.
class decompressing_source final : public byte_stream {
public:
  /// Starts decompressing the file open as fd, packed as told; raises read_failure when this
  /// build cannot decompress the packing, or when memory or a thread is refused.
  decompressing_source(int fd, compression packing, std::uint64_t skip = 0);
  decompressing_source(const decompressing_source&) = delete;
  decompressing_source& operator=(const decompressing_source&) = delete;
  ~decompressing_source();

  ssize_t read(char* buffer, std::size_t size) override;
  [[nodiscard]] io_error failure() const noexcept override { return failure_; }

  /// Bytes per chunk, and chunks decompressed ahead of the reader at most.
  static constexpr std::size_t chunk_size = std::size_t{1} << 18;
  static constexpr std::size_t chunk_count = 8;

private:
  // The thread's work: fills chunks until the input ends, fails or the reader goes.
  void produce() noexcept;
  // Fills one chunk; false when nothing follows it (the end, or a failure, then recorded).
  bool fill(char* chunk, std::size_t& size) noexcept;
  // Waits for a filled chunk; false at the end of the stream.
  bool take_chunk();
  void release_chunk();

  int fd_;
  compression packing_;
  reader::inflater inflater_;
  std::vector<char, checked_allocator<char>> input_;
  std::vector<char, checked_allocator<char>> chunks_;
  // The producer's: where the unread input lies, and the file's next offset.
  std::size_t input_begin_ = 0;
  std::size_t input_end_ = 0;
  std::uint64_t file_offset_ = 0;
  bool input_ended_ = false;
  std::size_t write_chunk_ = 0;
  // Shared, under mutex_: the filled chunks' sizes and count, and the end.
  std::mutex mutex_;
  std::condition_variable filled_;
  std::condition_variable emptied_;
  std::array<std::size_t, chunk_count> sizes_{};
  std::size_t filled_count_ = 0;
  bool finished_ = false;
  io_error failure_ = io_error::from_os(0);
  std::atomic<bool> cancelled_{false};
  // The reader's: the chunk it reads, if it holds one, and where; bytes still to skip.
  std::size_t read_chunk_ = 0;
  std::size_t read_at_ = 0;
  bool holding_ = false;
  std::uint64_t skip_;
  std::thread thread_;
};

} // namespace korvane
