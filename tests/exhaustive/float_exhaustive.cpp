// tests/exhaustive/float_exhaustive.cpp: every float pattern and every midpoint against strtof
#include "support/exact_decimal.h"
#include "text/float_parse.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using korvane::text::parse_f32;

std::atomic<std::uint64_t> mismatches{0};

void report(const char* text, std::uint32_t actual, std::uint32_t expected) {
  if (mismatches.fetch_add(1) < 20) {
    std::printf("%s: %08x instead of %08x\n", text, actual, expected);
  }
}

std::uint32_t parse_bits(const char* text) {
  const auto result = parse_f32(text);
  return result ? std::bit_cast<std::uint32_t>(result.value) : 0xFFFFFFFF;
}

std::uint32_t strtof_bits(const char* text) {
  return std::bit_cast<std::uint32_t>(std::strtof(text, nullptr));
}

// Nine significant digits identify every float, so the text reads back as the same bits.
void check_pattern(std::uint32_t bits) {
  const float value = std::bit_cast<float>(bits);
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", double{value});
  const std::uint32_t expected = value != value ? strtof_bits(text) : bits;
  const std::uint32_t actual = parse_bits(text);
  if (actual != expected || strtof_bits(text) != expected) {
    report(text, actual, expected);
  }
}

// The exact midpoint above a positive finite float rounds to the even neighbour.
void check_midpoint(std::uint32_t bits) {
  const std::uint32_t biased = bits >> 23;
  const std::uint32_t fraction = bits & 0x7FFFFF;
  const std::uint64_t significand = biased == 0 ? fraction : fraction | 0x800000;
  const int exponent = biased == 0 ? -149 : static_cast<int>(biased) - 150;
  const std::string text =
      korvane::testing::to_text(korvane::testing::expand_binary(2 * significand + 1, exponent - 1));
  const std::uint32_t expected = (bits & 1) == 0 ? bits : bits + 1;
  const std::uint32_t actual = parse_bits(text.c_str());
  if (actual != expected || strtof_bits(text.c_str()) != expected) {
    report(text.c_str(), actual, expected);
  }
}

} // namespace

// Optional argument: a stride, to check every n-th pattern only.
int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");
  const std::uint64_t stride = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1;
  const unsigned workers = std::max(1U, std::thread::hardware_concurrency());
  std::vector<std::thread> threads;
  for (unsigned worker = 0; worker < workers; ++worker) {
    threads.emplace_back([=] {
      for (std::uint64_t bits = worker * stride; bits <= 0xFFFFFFFF; bits += workers * stride) {
        check_pattern(static_cast<std::uint32_t>(bits));
        if (bits < 0x7F800000) {
          check_midpoint(static_cast<std::uint32_t>(bits));
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  std::printf("%llu mismatches\n", static_cast<unsigned long long>(mismatches.load()));
  return mismatches.load() == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
