// src/lib/line_source.cpp: the buffered line reader over an open plot file
#include "line_source.h"

#include "posix.h"
#include "text/utf8.h"

#include <algorithm>
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

// Where the piece's last character starts when the piece ends inside it; the piece's size
// otherwise.
std::size_t unfinished_tail(std::string_view piece) noexcept {
  const std::size_t size = piece.size();
  for (std::size_t back = 1; back <= std::min<std::size_t>(3, size); ++back) {
    const auto byte = static_cast<unsigned char>(piece[size - back]);
    if ((byte & 0xC0) != 0x80) {
      return text::sequence_length(byte) > back ? size - back : size;
    }
  }
  return size;
}

} // namespace

void utf8_stream::take(std::string_view piece) noexcept {
  if (!valid_) {
    return;
  }
  if (pending_length_ != 0) {
    // The character the last piece ended inside goes on here.
    const std::size_t length = text::sequence_length(static_cast<unsigned char>(pending_[0]));
    const std::size_t more = std::min(length - pending_length_, piece.size());
    std::memcpy(pending_.data() + pending_length_, piece.data(), more);
    pending_length_ += more;
    piece.remove_prefix(more);
    if (pending_length_ < length) {
      return;
    }
    valid_ = text::is_valid_utf8({pending_.data(), length});
    pending_length_ = 0;
  }
  const std::size_t whole = unfinished_tail(piece);
  valid_ = valid_ && text::is_valid_utf8(piece.substr(0, whole));
  pending_length_ = piece.size() - whole;
  std::memcpy(pending_.data(), piece.data() + whole, pending_length_);
}

next_line_result line_source::next_line(std::size_t keep, line_observer* observer) {
  if (given_back_length_ != 0) {
    // Its text is in the buffer or in spanning_, both untouched since it was given.
    given_back_length_ = 0;
    return given_back_;
  }
  spanning_.clear();
  spanning_check_ = {};
  spanning_length_ = 0;
  const char* start = buffer_ + begin_;
  if (const void* feed = std::memchr(start, '\n', end_ - begin_)) {
    const std::size_t line_start = begin_;
    begin_ += static_cast<std::size_t>(static_cast<const char*>(feed) - start) + 1;
    return buffered_line(line_start, begin_ - line_start);
  }
  return collect_across_refills(keep, observer);
}

next_line_result line_source::collect_across_refills(std::size_t keep, line_observer* observer) {
  for (;;) {
    take_spanning({buffer_ + begin_, end_ - begin_}, keep, observer);
    begin_ = end_;
    if (!refill()) {
      const io_error error = read_error_;
      spanning_.clear();
      return {next_line_result::outcome::error, {}, error};
    }
    if (end_ == 0) {
      // A last line that a writer has not ended yet is not a line yet, when the input grows.
      if (spanning_length_ == 0 || input_grows_) {
        return {next_line_result::outcome::end, {}};
      }
      return finish_spanning(false);
    }
    if (const void* feed = std::memchr(buffer_, '\n', end_)) {
      begin_ = static_cast<std::size_t>(static_cast<const char*>(feed) - buffer_) + 1;
      // A line that starts the new buffer lies in it whole.
      if (spanning_length_ == 0) {
        return buffered_line(0, begin_);
      }
      take_spanning({buffer_, begin_}, keep, observer);
      return finish_spanning(true);
    }
  }
}

void line_source::take_spanning(std::string_view bytes, std::size_t keep, line_observer* observer) {
  if (bytes.empty()) {
    return;
  }
  if (observer != nullptr) {
    observer->take(bytes);
  }
  spanning_.append(bytes.data(), std::min(keep - spanning_.size(), bytes.size()));
  spanning_check_.take(bytes);
  spanning_length_ += bytes.size();
  spanning_tail_[0] = bytes.size() > 1 ? bytes[bytes.size() - 2] : spanning_tail_[1];
  spanning_tail_[1] = bytes.back();
}

next_line_result line_source::finish_spanning(bool terminated) {
  if (!spanning_check_.valid()) {
    return {next_line_result::outcome::error, {}, invalid_utf8};
  }
  std::size_t terminator = 0;
  if (terminated) {
    terminator = spanning_length_ > 1 && spanning_tail_[0] == '\r' ? 2 : 1;
  }
  const std::size_t length = spanning_length_ - terminator;
  const line text(spanning_.data(), std::min(spanning_.size(), length));
  return {next_line_result::outcome::found,
          text,
          io_error::from_os(0),
          text::ascii_prefix_length(text) == text.size(),
          length - text.size(),
          !terminated};
}

next_line_result line_source::buffered_line(std::size_t start, std::size_t length) const {
  return finish(std::string_view(buffer_ + start, length));
}

bool line_source::refill() {
  if (stop_ != nullptr && bytes_read_ - checked_at_ >= stop_check_interval) {
    checked_at_ = bytes_read_;
    if (stop_(posix::stop_reason::progress)) {
      begin_ = end_ = 0;
      read_error_ = io_error::from_os(EINTR);
      return false;
    }
  }
  const ssize_t count = stream_ != nullptr ? stream_->read(buffer_, read_size_) : read_file();
  begin_ = 0;
  end_ = count < 0 ? 0 : static_cast<std::size_t>(count);
  for (std::size_t i = 0; head_length_ < head_.size() && i < end_; ++i) {
    head_[head_length_++] = buffer_[i];
  }
  bytes_read_ += end_;
  if (count < 0) {
    read_error_ = stream_ != nullptr ? stream_->failure() : io_error::from_os(errno);
  }
  return count >= 0;
}

ssize_t line_source::read_file() {
  return posix::retry_on_interrupt(
      [this] {
        return from_ ? posix::calls.pread(fd_, buffer_, read_size_,
                                          static_cast<off_t>(*from_ + bytes_read_))
                     : posix::calls.read(fd_, buffer_, read_size_);
      },
      stop_);
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
