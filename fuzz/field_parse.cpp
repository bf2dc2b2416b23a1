// fuzz/field_parse.cpp: libFuzzer target holding the field fast path to the general conversion
//
// For a valid UTF-8 input of at most 20 bytes, parse_field must give exactly what
// parse_f32(trim_field(field)) gives: the same error, or the same float bits. The input is also
// tried right-aligned in a 12- and a 15-byte field (spaces before it, as plot files pad), through
// parse_field and through parse_field_of_width, so that the layouts of both widths meet
// fuzzer-made text whatever the input's own length. Every field lives in a buffer of exactly its
// size, so a read past its end is an AddressSanitizer report.
#include "text/field_parse.h"

#include "text/trim.h"
#include "text/utf8.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

using korvane::text::f32_result;

// Longer inputs are no data field of any width the reader is given in practice.
constexpr std::size_t longest_input = 20;

// A result's float bits, or its error above them, so that two results compare whole.
std::uint64_t outcome(f32_result result) noexcept {
  return result ? std::bit_cast<std::uint32_t>(result.value)
                : std::uint64_t{1} << (32 + static_cast<int>(result.error));
}

// The field copied into a buffer of exactly its size.
std::unique_ptr<char[]> exact_copy(std::string_view field) {
  auto copy = std::make_unique<char[]>(field.size());
  if (!field.empty()) {
    std::memcpy(copy.get(), field.data(), field.size());
  }
  return copy;
}

// Both entries against the general conversion on one field; traps on any disagreement.
void check_field(std::string_view field) {
  const std::unique_ptr<char[]> copy = exact_copy(field);
  const std::string_view exact(copy.get(), field.size());
  const std::uint64_t expected =
      outcome(korvane::text::parse_f32(korvane::text::trim_field(exact)));
  if (outcome(korvane::text::parse_field(exact)) != expected) {
    __builtin_trap();
  }
  if (exact.size() == 12 &&
      outcome(korvane::text::parse_field_of_width<12>(copy.get())) != expected) {
    __builtin_trap();
  }
  if (exact.size() == 15 &&
      outcome(korvane::text::parse_field_of_width<15>(copy.get())) != expected) {
    __builtin_trap();
  }
}

// The field right-aligned in width bytes, spaces before it; checked when it fits.
void check_right_aligned(std::string_view field, std::size_t width) {
  if (field.size() >= width) {
    return;
  }
  char padded[longest_input];
  const std::size_t spaces = width - field.size();
  std::memset(padded, ' ', spaces);
  std::memcpy(padded + spaces, field.data(), field.size());
  check_field({padded, width});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view field(reinterpret_cast<const char*>(data), size);
  // The reader passes only fields of valid UTF-8 lines, cut at character boundaries.
  if (size > longest_input || !korvane::text::is_valid_utf8(field)) {
    return -1;
  }
  check_field(field);
  check_right_aligned(field, 12);
  check_right_aligned(field, 15);
  return 0;
}
