// src/failure/io_error_text.h: the text forms of an I/O error
#pragma once

#include <korvane/io_error.h>
#include <korvane/string.h>

#include <string_view>

namespace korvane::failure {

/// The kind of a Linux error number; Uncategorized for numbers outside the table.
[[nodiscard]] error_kind decode_error_kind(int code) noexcept;

/// The printed name of a kind, such as "NotFound".
[[nodiscard]] std::string_view error_kind_name(error_kind kind) noexcept;

/// The kind of any I/O error, derived from the number for an operating-system error.
[[nodiscard]] error_kind kind_of(const io_error& error) noexcept;

/// The C library's text for an error number.
[[nodiscard]] string system_text(int code);

/// "Os { code: 2, kind: NotFound, message: \"...\" }" or "Error { kind: ..., message: \"...\" }".
[[nodiscard]] string debug_description(const io_error& error);

/// "text (os error N)" or the fixed message.
[[nodiscard]] string display_form(const io_error& error);

} // namespace korvane::failure
