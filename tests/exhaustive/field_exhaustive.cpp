// tests/exhaustive/field_exhaustive.cpp: every width-12 field of the simulation's shape, fast
// path and (where the processor has it) the vector line reader against the general conversion
#include "text/field_parse.h"
#include "text/float_parse.h"
#include "text/simulation_line.h"
#include "text/trim.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using namespace korvane::text;

std::atomic<std::uint64_t> mismatches{0};
std::atomic<std::uint64_t> undecided_count{0};
std::atomic<std::uint64_t> declined_lines{0};

void report_mismatch(const char* what, std::string_view field, std::uint32_t bits,
                     std::uint32_t expected) {
  if (mismatches.fetch_add(1) < 20) {
    std::printf("%s %.*s: %08x instead of %08x\n", what, static_cast<int>(field.size()),
                field.data(), bits, expected);
  }
}

// Ten fields on a line, each with the general conversion's bits, read by the line reader.
struct line_check {
  std::array<char, 10 * 12 + simulation_line_overread> text{};
  std::array<std::uint32_t, 10> expected{};

  void check(simulation_line_reader read_line) {
    text[10 * 12] = '\n';
    std::array<float, 10> values{};
    if (!read_line(text.data(), values.data())) {
      ++declined_lines;
      return;
    }
    for (std::size_t j = 0; j < values.size(); ++j) {
      const auto bits = std::bit_cast<std::uint32_t>(values[j]);
      if (bits != expected[j]) {
        report_mismatch("line field", std::string_view(text.data() + 12 * j, 12), bits,
                        expected[j]);
      }
    }
  }
};

// " d.dddddE+dd" and its sign variants, for the mantissa 0 to 999999 and the exponent given.
void check_mantissas(char sign, char exponent_sign, int exponent) {
  char field[13] = " 0.00000E+00";
  field[0] = sign;
  field[9] = exponent_sign;
  field[10] = static_cast<char>('0' + exponent / 10);
  field[11] = static_cast<char>('0' + exponent % 10);
  std::uint64_t undecided = 0;
  const simulation_line_reader read_line = simulation_line_reader_for(12);
  line_check line;
  for (int mantissa = 0; mantissa < 1000000; ++mantissa) {
    int rest = mantissa;
    for (const int at : {7, 6, 5, 4, 3, 1}) {
      field[at] = static_cast<char>('0' + rest % 10);
      rest /= 10;
    }
    const std::string_view text(field, 12);
    const detail::rounding_decision fast = detail::field_fast_path(text);
    const f32_result general = parse_f32(trim_field(text));
    // Every field also goes through the line reader once, at place mantissa % 10 of a line.
    const auto place = static_cast<std::size_t>(mantissa % 10);
    std::copy_n(field, 12, line.text.data() + 12 * place);
    line.expected[place] = std::bit_cast<std::uint32_t>(general.value);
    if (place == 9 && read_line != nullptr) {
      line.check(read_line);
    }
    if (!fast.decided) {
      ++undecided;
      continue;
    }
    if (!general || fast.bits != std::bit_cast<std::uint32_t>(general.value)) {
      report_mismatch("field", text, fast.bits, std::bit_cast<std::uint32_t>(general.value));
    }
  }
  undecided_count += undecided;
}

} // namespace

int main() {
  // Work items: value sign, exponent sign, exponent.
  std::atomic<int> next{0};
  constexpr int items = 2 * 2 * 100;
  const unsigned workers = std::max(1U, std::thread::hardware_concurrency());
  std::vector<std::thread> threads;
  for (unsigned worker = 0; worker < workers; ++worker) {
    threads.emplace_back([&] {
      for (int item = next++; item < items; item = next++) {
        check_mantissas(item / 200 == 0 ? ' ' : '-', (item / 100) % 2 == 0 ? '+' : '-', item % 100);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  std::printf("%d00000000 fields: %llu mismatches, %llu left to the general conversion\n",
              items / 100, static_cast<unsigned long long>(mismatches.load()),
              static_cast<unsigned long long>(undecided_count.load()));
  if (simulation_line_reader_for(12) == nullptr) {
    std::printf("no vector line reader on this processor\n");
  } else {
    std::printf("%d0000000 lines of them: %llu declined by the line reader\n", items / 100,
                static_cast<unsigned long long>(declined_lines.load()));
  }
  return mismatches.load() == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
