// src/lib/plot_input.h: the lines of a plot file, decompressed on the way when it is compressed
#pragma once

#include "compression.h"
#include "decompressing_source.h"
#include "line_source.h"

#include <cstdint>
#include <korvane/checked_allocator.h>
#include <memory>
#include <optional>

namespace korvane::reader {

/// A line source over a plot file: over the file itself when it is plain (as line_source reads
/// it, positionally from `from` when given), over its decompressed bytes after the first `from`
/// when it is compressed.
class plot_input {
public:
  plot_input(int fd, compression packing, line_source::input kind, std::size_t read_size,
             posix::stop_check stop, std::optional<std::uint64_t> from)
      : source_(fd, kind, read_size, stop, packing == compression::none ? from : std::nullopt,
                stream_of(fd, packing, from.value_or(0))) {}
  plot_input(const plot_input&) = delete;
  plot_input& operator=(const plot_input&) = delete;

  [[nodiscard]] line_source& lines() noexcept { return source_; }
  /// The decompressed bytes the line source reads, when the file is compressed.
  [[nodiscard]] byte_stream* stream() noexcept { return decompressed_.get(); }

private:
  byte_stream* stream_of(int fd, compression packing, std::uint64_t from) {
    if (packing == compression::none) {
      return nullptr;
    }
    // Through the allocator that turns refused memory into a failure.
    decompressed_ = std::allocate_shared<decompressing_source>(
        checked_allocator<decompressing_source>(), fd, packing, from);
    return decompressed_.get();
  }

  // Made before the line source, which reads it; held here alone.
  std::shared_ptr<decompressing_source> decompressed_;
  line_source source_;
};

} // namespace korvane::reader
