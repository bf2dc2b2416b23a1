// src/line_source.cpp: the buffered line reader over an open plot file
#include "line_source.h"

#include "posix.h"
#include "text/utf8.h"

#include <cstring>

namespace korvane {

namespace {

constexpr io_error invalid_utf8 =
    io_error::fixed(error_kind::invalid_data, "stream did not contain valid UTF-8");

std::string_view strip_terminator(std::string_view s) noexcept {
  if (!s.empty() && s.back() == '\n') {
    s.remove_suffix(1);
    if (!s.empty() && s.back() == '\r') {
      s.remove_suffix(1);
    }
  }
  return s;
}

} // namespace

next_line_result line_source::next_line() {
  if (given_back_length_ != 0) {
    // Its text is in the buffer or in spanning_, both untouched since it was given.
    given_back_length_ = 0;
    return given_back_;
  }
  spanning_.clear();
  const char* start = buffer_ + begin_;
  if (const void* feed = std::memchr(start, '\n', end_ - begin_)) {
    const std::size_t line_start = begin_;
    begin_ += static_cast<std::size_t>(static_cast<const char*>(feed) - start) + 1;
    return buffered_line(line_start, begin_ - line_start);
  }
  return collect_across_refills();
}

next_line_result line_source::collect_across_refills() {
  for (;;) {
    spanning_.append(buffer_ + begin_, end_ - begin_);
    begin_ = end_;
    if (!refill()) {
      const int code = errno;
      spanning_.clear();
      return {next_line_result::outcome::error, {}, io_error::from_os(code)};
    }
    if (end_ == 0) {
      // A last line that a writer has not ended yet is not a line yet, when the input grows.
      if (spanning_.empty() || input_grows_) {
        return {next_line_result::outcome::end, {}};
      }
      return finish(spanning_);
    }
    if (const void* feed = std::memchr(buffer_, '\n', end_)) {
      begin_ = static_cast<std::size_t>(static_cast<const char*>(feed) - buffer_) + 1;
      // A line that starts the new buffer lies in it whole.
      if (spanning_.empty()) {
        return buffered_line(0, begin_);
      }
      spanning_.append(buffer_, begin_);
      return finish(spanning_);
    }
  }
}

next_line_result line_source::buffered_line(std::size_t start, std::size_t length) const {
  return finish(std::string_view(buffer_ + start, length));
}

bool line_source::refill() {
  if (stop_ != nullptr && bytes_read_ - checked_at_ >= stop_check_interval) {
    checked_at_ = bytes_read_;
    if (stop_(posix::stop_reason::progress)) {
      begin_ = end_ = 0;
      errno = EINTR;
      return false;
    }
  }
  const ssize_t count = posix::retry_on_interrupt(
      [this] { return posix::calls.read(fd_, buffer_, read_size_); }, stop_);
  begin_ = 0;
  end_ = count < 0 ? 0 : static_cast<std::size_t>(count);
  for (std::size_t i = 0; head_length_ < head_.size() && i < end_; ++i) {
    head_[head_length_++] = buffer_[i];
  }
  bytes_read_ += end_;
  return count >= 0;
}

next_line_result line_source::finish(std::string_view with_terminator) const {
  // Most lines of a plot file are ASCII, which a vector pass tells at once.
  const bool ascii = text::ascii_prefix_length(with_terminator) == with_terminator.size();
  if (!ascii && !text::is_valid_utf8(with_terminator)) {
    return {next_line_result::outcome::error, {}, invalid_utf8};
  }
  return {next_line_result::outcome::found, strip_terminator(with_terminator), io_error::from_os(0),
          ascii};
}

} // namespace korvane
