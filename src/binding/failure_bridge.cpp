// src/binding/failure_bridge.cpp: stand-ins for the failure reporting the binding layer calls
#include "failure_bridge.h"

#include <cstdio>
#include <cstdlib>
#include <korvane/read_failure.h>
#include <unistd.h>

namespace korvane::binding::bridge {

namespace {

void write_all(std::string_view text) noexcept {
  while (!text.empty()) {
    const ssize_t written = ::write(2, text.data(), text.size());
    if (written <= 0) {
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

} // namespace

void ffi_boundary_trap() noexcept {
  write_all("uncaught panic at ffi boundary\n");
  std::abort();
}

void resume_failure(std::string_view message) {
  throw read_failure(string(message), failure_location::here());
}

void write_resumption_banner() {
  write_all("--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n");
  write_all("Python stack trace below:\n");
}

string quoted(std::string_view text) {
  string out = "\"";
  for (const char c : text) {
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\0':
      out += "\\0";
      break;
    default:
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
        char escape[16];
        std::snprintf(escape, sizeof escape, "\\u{%x}", static_cast<unsigned>(c));
        out += escape;
      } else {
        out += c;
      }
    }
  }
  out += '"';
  return out;
}

} // namespace korvane::binding::bridge
