// include/korvane/read_failure.h: the fatal failure that ends a read, and the functions that raise
// it
#pragma once

#include <cstddef>
#include <cstdint>
#include <korvane/io_error.h>
#include <korvane/string.h>
#include <source_location>
#include <string_view>
#include <utility>

namespace korvane {

/// Where a fatal failure was raised: source path relative to the project root, line, column.
struct failure_location {
  const char* file;
  std::uint32_t line;
  std::uint32_t column;

  /// The location of the caller, for use as a default argument.
  static constexpr failure_location
  here(std::source_location where = std::source_location::current()) noexcept {
    return {where.file_name(), where.line(), where.column()};
  }
};

/// What a failure concerns, for a surface that raises each kind as an exception of its own; the
/// message is the same whatever the kind.
enum class failure_kind : std::uint8_t {
  /// A failure of the module itself or of the interpreter.
  internal,
  /// The file could not be opened; the failure's io_error says why.
  cannot_open,
  /// A line could not be read; the failure's io_error says why (invalid_data: not UTF-8).
  cannot_read,
  /// The file starts as a gzip stream does.
  compressed,
  /// The file's compressed data is corrupt or cut short, or packed in a way this build cannot
  /// read; the message says which.
  bad_compressed_data,
  /// The file holds no line at all.
  empty_file,
  /// The first line does not end with the number of parameters.
  bad_parameter_count,
  /// The file ends before the last parameter name.
  missing_name,
  /// The file ends inside a block.
  missing_data_line,
  /// A data field does not lie whole on its line.
  field_outside_line,
  /// A data field is not a number a float can hold.
  bad_field,
  /// The field width cannot be told from the first data line.
  undecided_width,
  /// A parameter chosen by name is not in the file, or is there more than once.
  unknown_name,
  /// A parameter chosen by position is not in the file.
  position_out_of_range,
  /// A parameter is chosen more than once.
  repeated_choice,
  /// Memory was refused while failures were quiet.
  out_of_memory,
};

/// The place in the plot file a failure concerns, when it concerns a line.
struct read_site {
  /// 1-based number of the line read or due; 0 when the failure concerns no particular line.
  std::uint64_t line_number = 0;
  /// Bytes in that line's text, terminator excluded; 0 for a line that is missing.
  std::size_t line_length = 0;
  /// The line is the file's first data line, the first to show the field width.
  bool first_data_line = false;
  /// Whether a data field of the line is concerned; then the three members below describe it.
  bool has_field = false;
  /// 0-based index of the field on its line.
  std::uint32_t field_index = 0;
  /// The field's byte range [field_start, field_end) within the line.
  std::size_t field_start = 0;
  std::size_t field_end = 0;
  /// 1-based number of the block the line belongs to; 0 for the lines before the blocks.
  std::uint64_t block = 0;
  /// What the failure concerns.
  failure_kind kind = failure_kind::internal;
};

/// A fatal failure on its way from the failure point to the entry point that catches it.
class read_failure {
public:
  read_failure(string message, failure_location where, read_site site = {},
               io_error error = io_error::from_os(0)) noexcept
      : message_(std::move(message)), where_(where), site_(site), error_(error) {}

  /// The message the caller sees as the exception's argument.
  [[nodiscard]] const string& message() const noexcept { return message_; }
  /// Where the failure was raised.
  [[nodiscard]] failure_location where() const noexcept { return where_; }
  /// The place in the plot file, for failures of the reader that concern a line.
  [[nodiscard]] const read_site& site() const noexcept { return site_; }
  /// The I/O error behind a failure to open or read; an OS error 0 for other failures.
  [[nodiscard]] const io_error& error() const noexcept { return error_; }

private:
  string message_;
  failure_location where_;
  read_site site_;
  io_error error_;
};

/// While one lives on a thread, failures raised there are thrown without a report on standard
/// error or a notice on standard output, and a refused allocation is thrown as an out_of_memory
/// failure instead of ending the process: for surfaces whose caller handles every failure.
class quiet_failures {
public:
  quiet_failures() noexcept;
  quiet_failures(const quiet_failures&) = delete;
  quiet_failures& operator=(const quiet_failures&) = delete;
  ~quiet_failures();

  /// Whether failures on the calling thread are quiet now.
  [[nodiscard]] static bool active() noexcept;

private:
  bool was_active_;
};

/// Reports a failure whose message is the given text, then throws it as read_failure.
[[noreturn]] void raise_failure(std::string_view message, const read_site& site = {},
                                failure_location where = failure_location::here());

/// Reports and throws a failure whose message is text, ": " and the description of an error.
[[noreturn]] void raise_failure(std::string_view text, std::string_view description,
                                const read_site& site = {},
                                failure_location where = failure_location::here());

/// Reports and throws a failure whose message is text, ": " and the debug description of error.
[[noreturn]] void raise_failure(std::string_view text, const io_error& error,
                                const read_site& site = {},
                                failure_location where = failure_location::here());

} // namespace korvane
