// include/korvane/read_failure.h: the fatal failure that ends a read, and the functions that raise
// it
#pragma once

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

/// A fatal failure on its way from the failure point to the entry point that catches it.
class read_failure {
public:
  read_failure(string message, failure_location where) noexcept
      : message_(std::move(message)), where_(where) {}

  /// The message the caller sees as the exception's argument.
  [[nodiscard]] const string& message() const noexcept { return message_; }
  /// Where the failure was raised.
  [[nodiscard]] failure_location where() const noexcept { return where_; }

private:
  string message_;
  failure_location where_;
};

/// Reports a failure whose message is the given text, then throws it as read_failure.
[[noreturn]] void raise_failure(std::string_view message,
                                failure_location where = failure_location::here());

/// Reports and throws a failure whose message is text, ": " and the description of an error.
[[noreturn]] void raise_failure(std::string_view text, std::string_view description,
                                failure_location where = failure_location::here());

/// Reports and throws a failure whose message is text, ": " and the debug description of error.
[[noreturn]] void raise_failure(std::string_view text, const io_error& error,
                                failure_location where = failure_location::here());

} // namespace korvane
