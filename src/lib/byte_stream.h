// src/lib/byte_stream.h: bytes read in order from something other than a plain file
#pragma once

#include <cstddef>
#include <korvane/io_error.h>
#include <sys/types.h>

namespace korvane {

/// A source of bytes read in order, once, as read() reads a file.
class byte_stream {
public:
  /// Reads up to size bytes into buffer: the count, 0 at the end, or -1 when the stream failed,
  /// as failure() tells.
  virtual ssize_t read(char* buffer, std::size_t size) = 0;
  /// Why the last read returned -1.
  [[nodiscard]] virtual io_error failure() const noexcept = 0;

protected:
  ~byte_stream() = default;
};

} // namespace korvane
