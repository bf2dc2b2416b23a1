// src/failure/stderr_output.h: direct writes to file descriptor 2 that never fail loudly
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvane::failure {

/// Writes text to file descriptor 2, repeating interrupted and partial writes; any other error,
/// or a write that accepts nothing, silently drops the rest of the text.
void write_to_stderr(std::string_view text) noexcept;

/// Collects pieces in a fixed stack buffer so that a short block reaches standard error in one
/// write; a piece that does not fit goes out after what was collected, directly.
class stderr_buffer {
public:
  static constexpr std::size_t capacity = 512;

  stderr_buffer() noexcept = default;
  stderr_buffer(const stderr_buffer&) = delete;
  stderr_buffer& operator=(const stderr_buffer&) = delete;
  ~stderr_buffer() { flush(); }

  /// Adds a piece of text.
  stderr_buffer& operator<<(std::string_view piece) noexcept;
  /// Adds an unsigned number in decimal.
  stderr_buffer& operator<<(std::uint64_t number) noexcept;
  /// Writes what has been collected and empties the buffer.
  void flush() noexcept;

private:
  std::array<char, capacity> bytes_{};
  std::size_t size_ = 0;
};

} // namespace korvane::failure
