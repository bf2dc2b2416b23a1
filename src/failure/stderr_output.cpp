// src/failure/stderr_output.cpp: direct writes to file descriptor 2 that never fail loudly
#include "stderr_output.h"

#include "posix.h"

#include <charconv>
#include <cstring>
#include <unistd.h>

namespace korvane::failure {

void write_to_stderr(std::string_view text) noexcept {
  // A report that cannot be written is lost; the failure goes on regardless.
  (void)posix::write_all(STDERR_FILENO, text);
}

stderr_buffer& stderr_buffer::operator<<(std::string_view piece) noexcept {
  if (piece.size() > capacity - size_) {
    flush();
    if (piece.size() > capacity) {
      write_to_stderr(piece);
      return *this;
    }
  }
  std::memcpy(bytes_.data() + size_, piece.data(), piece.size());
  size_ += piece.size();
  return *this;
}

stderr_buffer& stderr_buffer::operator<<(std::uint64_t number) noexcept {
  std::array<char, 20> digits{};
  const std::to_chars_result end =
      std::to_chars(digits.data(), digits.data() + digits.size(), number);
  return *this << std::string_view(digits.data(),
                                   static_cast<std::size_t>(end.ptr - digits.data()));
}

void stderr_buffer::flush() noexcept {
  write_to_stderr({bytes_.data(), size_});
  size_ = 0;
}

} // namespace korvane::failure
