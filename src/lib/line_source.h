// src/lib/line_source.h: the buffered line reader over an open plot file
#pragma once

#include "byte_stream.h"
#include "posix.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <korvane/checked_allocator.h>
#include <korvane/io_error.h>
#include <korvane/line.h>
#include <korvane/string.h>
#include <optional>
#include <string_view>
#include <vector>

namespace korvane {

/// Checks that bytes given piece by piece are UTF-8, a character possibly split between pieces.
class utf8_stream {
public:
  /// Checks the next piece.
  void take(std::string_view piece) noexcept;
  /// Whether every piece was valid and no character is left unfinished.
  [[nodiscard]] bool valid() const noexcept { return valid_ && pending_length_ == 0; }

private:
  bool valid_ = true;
  // The first bytes of a character that the last piece ended inside.
  std::array<char, 4> pending_{};
  std::size_t pending_length_ = 0;
};

/// What next_line found: a line, the end of the input, or an I/O error.
struct next_line_result {
  enum class outcome : unsigned char { found, end, error };

  outcome what;
  /// The line's text without terminator, when what is found.
  line text;
  /// The failure, when what is error.
  io_error error = io_error::from_os(0);
  /// Every byte of text is ASCII, so every offset in it is a character boundary.
  bool ascii = false;
  /// Bytes of the line's text after text, passed over unkept (their UTF-8 was checked).
  std::size_t passed_over = 0;
  /// The line is the input's last and no line feed ends it.
  bool unterminated = false;

  /// The length of the line's text, terminator excluded, kept or not.
  [[nodiscard]] std::size_t length() const noexcept { return text.size() + passed_over; }
};

/// Sees every byte of a line that spans refills, terminator included, piece by piece as it is
/// read, whether it is kept or not.
class line_observer {
public:
  virtual void take(std::string_view piece) = 0;

protected:
  ~line_observer() = default;
};

/// A line seen in the buffer and not yet taken.
struct peeked_line {
  /// The line's first byte; null when the line was not there to see.
  const char* text = nullptr;
  /// The line's bytes with its terminator.
  std::size_t length_with_terminator = 0;
};

/// Reads a file line by line through a buffer of 8192 bytes (or more, when asked), one read per
/// refill.
class line_source {
public:
  static constexpr std::size_t buffer_size = 8192;
  /// A larger buffer, for readers that take fewer, longer reads.
  static constexpr std::size_t large_buffer_size = 65536;

  /// Whether the input may still grow: then a last line without a line feed is not given.
  enum class input : bool { whole, growing };

  /// Bytes read between two questions to the stop check.
  static constexpr std::uint64_t stop_check_interval = std::uint64_t{4} << 20;

  /// Reads fd through a buffer of buffer_size bytes, or of read_size when that is larger. stop,
  /// when given, is asked whether to stop when a read is interrupted by a signal and after every
  /// stop_check_interval bytes: then the line being read fails as an interrupted read (EINTR).
  /// Given from, it reads the file from that offset by positional reads, which leave the read
  /// position that a forked process shares alone; otherwise from that read position. Given a
  /// stream, it reads the stream instead of fd.
  explicit line_source(int fd, input kind = input::whole, std::size_t read_size = buffer_size,
                       posix::stop_check stop = nullptr,
                       std::optional<std::uint64_t> from = std::nullopt,
                       byte_stream* stream = nullptr)
      : fd_(fd), input_grows_(kind == input::growing), from_(from), stop_(stop), stream_(stream) {
    if (read_size > buffer_size) {
      large_buffer_.resize(read_size + overread);
      buffer_ = large_buffer_.data();
      read_size_ = read_size;
    }
  }
  line_source(const line_source&) = delete;
  line_source& operator=(const line_source&) = delete;

  /// The next line, valid UTF-8 and without its line feed (nor a carriage return before it).
  /// The text stays valid until the next call. Of a line that spans refills, only the first
  /// `keep` bytes are kept (and given as text); the rest is checked as it streams by, and shown
  /// to the observer, if there is one, with the bytes kept.
  [[nodiscard]] next_line_result next_line(std::size_t keep = all,
                                           line_observer* observer = nullptr);

  /// A keep of next_line that keeps every byte.
  static constexpr std::size_t all = SIZE_MAX;

  /// Makes the line next_line just gave, of length_with_terminator bytes in the input, the
  /// next line again; it is given whole by next_line and never seen by peek_line.
  void give_back(const next_line_result& given, std::size_t length_with_terminator) noexcept {
    given_back_ = given;
    given_back_length_ = length_with_terminator;
  }

  /// Whether the input's first bytes are these (at most 4), as far as the input holds bytes.
  [[nodiscard]] bool input_starts_with(std::string_view bytes) const noexcept {
    return bytes.size() <= head_length_ && std::string_view(head_.data(), bytes.size()) == bytes;
  }

  /// The next line when it lies in the buffer with `length` bytes before its terminator, "\n"
  /// or "\r\n"; no text otherwise. The bytes [text, text + length + overread) can be read. The
  /// line is left in place: skip_line takes it.
  [[nodiscard]] peeked_line peek_line(std::size_t length) const noexcept {
    const std::size_t terminator = begin_ + length;
    if (given_back_length_ != 0) {
      return {};
    }
    if (terminator < end_ && buffer_[terminator] == '\n') {
      return {buffer_ + begin_, length + 1};
    }
    if (terminator + 1 < end_ && buffer_[terminator] == '\r' && buffer_[terminator + 1] == '\n') {
      return {buffer_ + begin_, length + 2};
    }
    return {};
  }
  /// Takes the line that peek_line gave.
  void skip_line(const peeked_line& peeked) noexcept { begin_ += peeked.length_with_terminator; }

  /// Bytes of the input before the line due next.
  [[nodiscard]] std::uint64_t offset() const noexcept {
    return bytes_read_ - (end_ - begin_) - given_back_length_;
  }

  /// The bytes read and not yet given as lines.
  [[nodiscard]] std::string_view buffered() const noexcept {
    return {buffer_ + begin_, end_ - begin_};
  }

  /// Bytes that may be read past the buffered input; they hold no input.
  static constexpr std::size_t overread = 16;

private:
  // One read into the buffer; false with read_error_ set on failure, EINTR when the stop check
  // stops the read.
  bool refill();
  // One read of the file, positional when from_ is given.
  ssize_t read_file();
  next_line_result finish(std::string_view with_terminator) const;
  // The buffer's bytes [start, start + length), a line feed last, as a line.
  next_line_result buffered_line(std::size_t start, std::size_t length) const;
  next_line_result collect_across_refills(std::size_t keep, line_observer* observer);
  // Takes bytes of a line that spans refills: kept up to keep bytes, checked and observed all.
  void take_spanning(std::string_view bytes, std::size_t keep, line_observer* observer);
  // The line gathered across refills, its terminator taken when it has one.
  next_line_result finish_spanning(bool terminated);

  int fd_;
  bool input_grows_;
  std::optional<std::uint64_t> from_;
  posix::stop_check stop_;
  byte_stream* stream_;
  // bytes_read_ when the stop check was last asked, or when reading began.
  std::uint64_t checked_at_ = 0;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::uint64_t bytes_read_ = 0;
  // Why the last refill failed.
  io_error read_error_ = io_error::from_os(0);
  // The kept bytes of a line that spans refills; cleared when the next line is asked for.
  string spanning_;
  // The UTF-8 check of the line that spans refills, and the bytes it took.
  utf8_stream spanning_check_;
  std::size_t spanning_length_ = 0;
  // The two bytes of that line taken last, to tell a carriage return before its line feed.
  std::array<char, 2> spanning_tail_{};
  // The line given back, due again; its length is 0 when there is none.
  next_line_result given_back_{next_line_result::outcome::end, {}};
  std::size_t given_back_length_ = 0;
  // The input's first bytes, kept from the first read.
  std::array<char, 4> head_{};
  std::size_t head_length_ = 0;
  // The buffer: the one held inline, or a larger one from the heap.
  std::array<char, buffer_size + overread> inline_buffer_{};
  std::vector<char, checked_allocator<char>> large_buffer_;
  char* buffer_ = inline_buffer_.data();
  std::size_t read_size_ = buffer_size;
};

} // namespace korvane
