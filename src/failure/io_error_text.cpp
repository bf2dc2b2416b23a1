// src/failure/io_error_text.cpp: PLACEHOLDER until the full text forms land
#include "io_error_text.h"

#include <cstring>
#include <string>

namespace korvane::failure {

error_kind decode_error_kind(int code) noexcept {
  return code == 2 ? error_kind::not_found : error_kind::uncategorized;
}

std::string_view error_kind_name(error_kind kind) noexcept {
  return kind == error_kind::not_found ? "NotFound" : "Uncategorized";
}

error_kind kind_of(const io_error& error) noexcept {
  return error.is_os() ? decode_error_kind(error.os_code()) : error.fixed_kind();
}

string system_text(int code) { return string(std::strerror(code)); }

string debug_description(const io_error& error) {
  string out;
  if (error.is_os()) {
    out = "Os { code: ";
    out += std::to_string(error.os_code()).c_str();
    out += ", kind: ";
    out += error_kind_name(kind_of(error));
    out += ", message: \"";
    out += system_text(error.os_code());
    out += "\" }";
  } else {
    out = "Error { kind: ";
    out += error_kind_name(error.fixed_kind());
    out += ", message: \"";
    out += error.fixed_message();
    out += "\" }";
  }
  return out;
}

string display_form(const io_error& error) {
  if (!error.is_os()) {
    return string(error.fixed_message());
  }
  string out = system_text(error.os_code());
  out += " (os error ";
  out += std::to_string(error.os_code()).c_str();
  out += ")";
  return out;
}

} // namespace korvane::failure
