// include/korvane/io_error.h: an error of the operating system or of the module's own I/O
#pragma once

#include <cstdint>
#include <string_view>

namespace korvane {

/// Category of an I/O error; error_kind_name gives each its printed name.
enum class error_kind : std::uint8_t {
  not_found,
  permission_denied,
  connection_refused,
  connection_reset,
  host_unreachable,
  network_unreachable,
  connection_aborted,
  not_connected,
  addr_in_use,
  addr_not_available,
  network_down,
  broken_pipe,
  already_exists,
  would_block,
  not_a_directory,
  is_a_directory,
  directory_not_empty,
  read_only_filesystem,
  filesystem_loop,
  stale_network_file_handle,
  invalid_input,
  invalid_data,
  timed_out,
  write_zero,
  storage_full,
  not_seekable,
  quota_exceeded,
  file_too_large,
  resource_busy,
  executable_file_busy,
  deadlock,
  crosses_devices,
  too_many_links,
  invalid_filename,
  argument_list_too_long,
  interrupted,
  unsupported,
  unexpected_eof,
  out_of_memory,
  in_progress,
  other,
  uncategorized,
};

/// An I/O error: an operating-system error number, or a kind with a fixed message.
class io_error {
public:
  /// The error a failed system call left in errno.
  static constexpr io_error from_os(int code) noexcept { return io_error(code); }
  /// An error of the module's own, with a message that lives as long as the process.
  static constexpr io_error fixed(error_kind kind, std::string_view message) noexcept {
    return io_error(kind, message);
  }

  /// True for an operating-system error.
  [[nodiscard]] constexpr bool is_os() const noexcept { return message_.empty(); }
  /// The operating-system error number; meaningful only when is_os().
  [[nodiscard]] constexpr int os_code() const noexcept { return code_; }
  /// The kind of a fixed-message error; an OS error's kind is derived from its number.
  [[nodiscard]] constexpr error_kind fixed_kind() const noexcept { return kind_; }
  /// The fixed message; empty for an operating-system error.
  [[nodiscard]] constexpr std::string_view fixed_message() const noexcept { return message_; }

private:
  constexpr explicit io_error(int code) noexcept : code_(code) {}
  constexpr io_error(error_kind kind, std::string_view message) noexcept
      : kind_(kind), message_(message) {}

  int code_ = 0;
  error_kind kind_ = error_kind::uncategorized;
  std::string_view message_;
};

} // namespace korvane
