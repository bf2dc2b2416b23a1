// fuzz/simulation_line.cpp: libFuzzer target holding the vector line reader to the field path
//
// The input's first byte picks the width, 12 or 15; the rest is written over a line of ten
// fields in the simulation's layout, so that most inputs change a valid line in a few places.
// Whenever the reader accepts a line, every field must be one the simulation's layout decides,
// with the same bits, and the general conversion must give those bits too. The line lives in a
// buffer of exactly the bytes the reader may read, so a read past them is an AddressSanitizer
// report.
#include "text/simulation_line.h"

#include "text/field_layout.h"
#include "text/field_parse.h"
#include "text/float_parse.h"
#include "text/trim.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace {

using namespace korvane::text;

constexpr std::string_view template_fields_12 = " 8.52529E-05-2.06940E+07";
constexpr std::string_view template_fields_15 = " 8.52528542E-05-2.06940000E+07";

// Accepted fields must agree with both scalar paths; traps otherwise.
template <unsigned width>
void check_line(const std::uint8_t* data, std::size_t size, std::string_view pattern) {
  constexpr std::size_t length = width * simulation_line_fields;
  const simulation_line_reader read_line = simulation_line_reader_for(width);
  if (read_line == nullptr) {
    return;
  }
  auto line = std::make_unique<char[]>(length + simulation_line_overread);
  for (std::size_t i = 0; i < length + simulation_line_overread; ++i) {
    line[i] = i < length ? pattern[i % pattern.size()] : '\n';
  }
  std::copy_n(data, std::min(size, length + simulation_line_overread), line.get());
  std::array<float, simulation_line_fields> values{};
  if (!read_line(line.get(), values.data())) {
    return;
  }
  for (std::size_t j = 0; j < simulation_line_fields; ++j) {
    const char* field = line.get() + j * width;
    const detail::rounding_decision layout =
        detail::simulation_layout<width>(detail::load_words<width>(field));
    const f32_result general = parse_f32(trim_field({field, width}));
    const auto bits = std::bit_cast<std::uint32_t>(values[j]);
    if (!layout.decided || layout.bits != bits || !general ||
        std::bit_cast<std::uint32_t>(general.value) != bits) {
      __builtin_trap();
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return -1;
  }
  if (data[0] % 2 == 0) {
    check_line<12>(data + 1, size - 1, template_fields_12);
  } else {
    check_line<15>(data + 1, size - 1, template_fields_15);
  }
  return 0;
}
