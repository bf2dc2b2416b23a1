// tests/exhaustive/field_exhaustive.cpp: every width-12 field of the simulation's shape, fast
// path against the general conversion
#include "text/field_parse.h"
#include "text/float_parse.h"
#include "text/trim.h"

#include <algorithm>
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

// " d.dddddE+dd" and its sign variants, for the mantissa 0 to 999999 and the exponent given.
void check_mantissas(char sign, char exponent_sign, int exponent) {
  char field[13] = " 0.00000E+00";
  field[0] = sign;
  field[9] = exponent_sign;
  field[10] = static_cast<char>('0' + exponent / 10);
  field[11] = static_cast<char>('0' + exponent % 10);
  std::uint64_t undecided = 0;
  for (int mantissa = 0; mantissa < 1000000; ++mantissa) {
    int rest = mantissa;
    for (const int at : {7, 6, 5, 4, 3, 1}) {
      field[at] = static_cast<char>('0' + rest % 10);
      rest /= 10;
    }
    const std::string_view text(field, 12);
    const detail::rounding_decision fast = detail::field_fast_path(text);
    const f32_result general = parse_f32(trim_field(text));
    if (!fast.decided) {
      ++undecided;
      continue;
    }
    if (!general || fast.bits != std::bit_cast<std::uint32_t>(general.value)) {
      if (mismatches.fetch_add(1) < 20) {
        std::printf("%s: %08x instead of %08x\n", field, fast.bits,
                    std::bit_cast<std::uint32_t>(general.value));
      }
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
        check_mantissas(item / 200 == 0 ? ' ' : '-', (item / 100) % 2 == 0 ? '+' : '-',
                        item % 100);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  std::printf("%d00000000 fields: %llu mismatches, %llu left to the general conversion\n",
              items / 100, static_cast<unsigned long long>(mismatches.load()),
              static_cast<unsigned long long>(undecided_count.load()));
  return mismatches.load() == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
