// src/failure/io_error_text.cpp: the kinds of I/O errors and their debug and display texts
#include "io_error_text.h"

#include "text/escape.h"
#include "text/number_text.h"
#include "text/utf8_lossy.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <korvane/read_failure.h>

// The XSI strerror_r, which fills the buffer and returns a status. With _GNU_SOURCE, which g++
// always defines, <cstring> declares only the GNU strerror_r, so the XSI one is declared here
// under the name the C library exports it by.
extern "C" int __xpg_strerror_r(int code, char* buffer, std::size_t size) noexcept;

namespace korvane::failure {

namespace {

struct kind_row {
  error_kind kind;
  std::string_view name;
};

constexpr std::size_t kind_count = static_cast<std::size_t>(error_kind::uncategorized) + 1;

// Indexed by error_kind; each row names its enumerator so that the order can be checked.
constexpr std::array<kind_row, kind_count> kind_names = {{
    {error_kind::not_found, "NotFound"},
    {error_kind::permission_denied, "PermissionDenied"},
    {error_kind::connection_refused, "ConnectionRefused"},
    {error_kind::connection_reset, "ConnectionReset"},
    {error_kind::host_unreachable, "HostUnreachable"},
    {error_kind::network_unreachable, "NetworkUnreachable"},
    {error_kind::connection_aborted, "ConnectionAborted"},
    {error_kind::not_connected, "NotConnected"},
    {error_kind::addr_in_use, "AddrInUse"},
    {error_kind::addr_not_available, "AddrNotAvailable"},
    {error_kind::network_down, "NetworkDown"},
    {error_kind::broken_pipe, "BrokenPipe"},
    {error_kind::already_exists, "AlreadyExists"},
    {error_kind::would_block, "WouldBlock"},
    {error_kind::not_a_directory, "NotADirectory"},
    {error_kind::is_a_directory, "IsADirectory"},
    {error_kind::directory_not_empty, "DirectoryNotEmpty"},
    {error_kind::read_only_filesystem, "ReadOnlyFilesystem"},
    {error_kind::filesystem_loop, "FilesystemLoop"},
    {error_kind::stale_network_file_handle, "StaleNetworkFileHandle"},
    {error_kind::invalid_input, "InvalidInput"},
    {error_kind::invalid_data, "InvalidData"},
    {error_kind::timed_out, "TimedOut"},
    {error_kind::write_zero, "WriteZero"},
    {error_kind::storage_full, "StorageFull"},
    {error_kind::not_seekable, "NotSeekable"},
    {error_kind::quota_exceeded, "QuotaExceeded"},
    {error_kind::file_too_large, "FileTooLarge"},
    {error_kind::resource_busy, "ResourceBusy"},
    {error_kind::executable_file_busy, "ExecutableFileBusy"},
    {error_kind::deadlock, "Deadlock"},
    {error_kind::crosses_devices, "CrossesDevices"},
    {error_kind::too_many_links, "TooManyLinks"},
    {error_kind::invalid_filename, "InvalidFilename"},
    {error_kind::argument_list_too_long, "ArgumentListTooLong"},
    {error_kind::interrupted, "Interrupted"},
    {error_kind::unsupported, "Unsupported"},
    {error_kind::unexpected_eof, "UnexpectedEof"},
    {error_kind::out_of_memory, "OutOfMemory"},
    {error_kind::in_progress, "InProgress"},
    {error_kind::other, "Other"},
    {error_kind::uncategorized, "Uncategorized"},
}};

constexpr bool rows_follow_enum() noexcept {
  for (std::size_t i = 0; i < kind_names.size(); ++i) {
    if (static_cast<std::size_t>(kind_names[i].kind) != i || kind_names[i].name.empty()) {
      return false;
    }
  }
  return true;
}
static_assert(rows_follow_enum(), "kind_names must list every error_kind in enum order");

// Every status below 0 is a failure; a positive one (an unknown number) still fills the buffer.
int c_library_strerror(int code, char* buffer, std::size_t size) {
  return __xpg_strerror_r(code, buffer, size);
}

// The struct form's "message: \"...\" }" ending.
void append_message_field(string& out, std::string_view message) {
  out += ", message: ";
  text::append_quoted(out, message);
  out += " }";
}

} // namespace

strerror_function strerror_lookup = c_library_strerror;

error_kind decode_error_kind(int code) noexcept {
  switch (code) {
  case EPERM:
  case EACCES:
    return error_kind::permission_denied;
  case ENOENT:
    return error_kind::not_found;
  case EINTR:
    return error_kind::interrupted;
  case E2BIG:
    return error_kind::argument_list_too_long;
  case EAGAIN:
    return error_kind::would_block;
  case ENOMEM:
    return error_kind::out_of_memory;
  case EBUSY:
    return error_kind::resource_busy;
  case EEXIST:
    return error_kind::already_exists;
  case EXDEV:
    return error_kind::crosses_devices;
  case ENOTDIR:
    return error_kind::not_a_directory;
  case EISDIR:
    return error_kind::is_a_directory;
  case EINVAL:
    return error_kind::invalid_input;
  case ETXTBSY:
    return error_kind::executable_file_busy;
  case EFBIG:
    return error_kind::file_too_large;
  case ENOSPC:
    return error_kind::storage_full;
  case ESPIPE:
    return error_kind::not_seekable;
  case EROFS:
    return error_kind::read_only_filesystem;
  case EMLINK:
    return error_kind::too_many_links;
  case EPIPE:
    return error_kind::broken_pipe;
  case EDEADLK:
    return error_kind::deadlock;
  case ENAMETOOLONG:
    return error_kind::invalid_filename;
  case ENOSYS:
  case EOPNOTSUPP:
    return error_kind::unsupported;
  case ENOTEMPTY:
    return error_kind::directory_not_empty;
  case ELOOP:
    return error_kind::filesystem_loop;
  case EADDRINUSE:
    return error_kind::addr_in_use;
  case EADDRNOTAVAIL:
    return error_kind::addr_not_available;
  case ENETDOWN:
    return error_kind::network_down;
  case ENETUNREACH:
    return error_kind::network_unreachable;
  case ECONNABORTED:
    return error_kind::connection_aborted;
  case ECONNRESET:
    return error_kind::connection_reset;
  case ENOTCONN:
    return error_kind::not_connected;
  case ETIMEDOUT:
    return error_kind::timed_out;
  case ECONNREFUSED:
    return error_kind::connection_refused;
  case EHOSTUNREACH:
    return error_kind::host_unreachable;
  case EINPROGRESS:
    return error_kind::in_progress;
  case ESTALE:
    return error_kind::stale_network_file_handle;
  case EDQUOT:
    return error_kind::quota_exceeded;
  default:
    return error_kind::uncategorized;
  }
}

std::string_view error_kind_name(error_kind kind) noexcept {
  return kind_names[static_cast<std::size_t>(kind)].name;
}

error_kind kind_of(const io_error& error) noexcept {
  return error.is_os() ? decode_error_kind(error.os_code()) : error.fixed_kind();
}

string system_text(int code) {
  char buffer[128] = {};
  if (strerror_lookup(code, buffer, sizeof buffer) < 0) {
    raise_failure("strerror_r failure");
  }
  // The text ends at the first NUL, and within the buffer's first 127 bytes even when a lookup
  // has left it without one.
  const std::size_t length = ::strnlen(buffer, sizeof buffer - 1);
  string text;
  text::append_utf8_lossy(text, std::string_view(buffer, length));
  return text;
}

string debug_description(const io_error& error) {
  string out;
  if (error.is_os()) {
    out += "Os { code: ";
    text::append_number(out, error.os_code());
    out += ", kind: ";
    out += error_kind_name(kind_of(error));
    append_message_field(out, system_text(error.os_code()));
  } else {
    out += "Error { kind: ";
    out += error_kind_name(error.fixed_kind());
    append_message_field(out, error.fixed_message());
  }
  return out;
}

string display_form(const io_error& error) {
  if (!error.is_os()) {
    return string(error.fixed_message());
  }
  string out = system_text(error.os_code());
  out += " (os error ";
  text::append_number(out, error.os_code());
  out += ')';
  return out;
}

} // namespace korvane::failure
