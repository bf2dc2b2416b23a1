// src/text/utf8_lossy.cpp: decoding bytes that may not be UTF-8, for texts of the C library
#include "utf8_lossy.h"

#include "utf8.h"

#include <cstddef>

namespace korvane::text {

namespace {

constexpr std::string_view replacement_character = "\xEF\xBF\xBD";

// The bytes at the start of rest that belong to the sequence its first byte opens: all of it
// when well formed, else its longest prefix that could still begin one (at least one byte).
std::size_t sequence_prefix(std::string_view rest, std::size_t length) noexcept {
  const auto lead = static_cast<unsigned char>(rest[0]);
  std::size_t taken = 1;
  while (taken < length && taken < rest.size() &&
         may_follow(lead, taken, static_cast<unsigned char>(rest[taken]))) {
    ++taken;
  }
  return taken;
}

} // namespace

void append_utf8_lossy(string& out, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::size_t taken = 1;
    if (lead < 0x80) {
      out += bytes[0];
    } else if (const std::size_t length = sequence_length(lead); length == 0) {
      out += replacement_character;
    } else {
      taken = sequence_prefix(bytes, length);
      out += taken == length ? bytes.substr(0, length) : replacement_character;
    }
    bytes.remove_prefix(taken);
  }
}

} // namespace korvane::text
