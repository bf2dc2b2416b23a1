// bench/float_bench.cpp: per-field float conversion at both field widths, beside strtof
#include "text/field_parse.h"
#include "text/float_parse.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int field_count = 10000;

// Fields as the simulation writes them, "%12.5E" or "%15.8E", without the leading blank that
// trimming removes: magnitudes from 1e-10 to 1e10, either sign.
std::vector<std::string> make_fields(int width) {
  std::mt19937_64 random(static_cast<std::uint64_t>(width));
  std::uniform_real_distribution<double> magnitude(-10.0, 10.0);
  std::vector<std::string> fields;
  for (int i = 0; i < field_count; ++i) {
    const double value = std::pow(10.0, magnitude(random)) * ((random() & 1) != 0 ? -1 : 1);
    char text[32];
    std::snprintf(text, sizeof text, "%.*E", width == 12 ? 5 : 8, value);
    fields.emplace_back(text);
  }
  return fields;
}

void set_field_counter(benchmark::State& state) {
  // Inverted rate of fields per second: seconds per field.
  state.counters["ns/field"] = benchmark::Counter(
      field_count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void parse_f32_fields(benchmark::State& state) {
  const std::vector<std::string> fields = make_fields(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    for (const std::string& field : fields) {
      benchmark::DoNotOptimize(korvane::text::parse_f32(field));
    }
  }
  set_field_counter(state);
}

// The whole fields, leading blank included, through the fast path the reader takes.
void parse_field_fields(benchmark::State& state) {
  const auto width = static_cast<int>(state.range(0));
  std::vector<std::string> fields = make_fields(width);
  for (std::string& field : fields) {
    field.insert(0, static_cast<std::size_t>(width) - field.size(), ' ');
  }
  for (auto _ : state) {
    for (const std::string& field : fields) {
      benchmark::DoNotOptimize(width == 12 ? korvane::text::parse_field_of_width<12>(field.data())
                                           : korvane::text::parse_field_of_width<15>(field.data()));
    }
  }
  set_field_counter(state);
}

void strtof_fields(benchmark::State& state) {
  const std::vector<std::string> fields = make_fields(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    for (const std::string& field : fields) {
      benchmark::DoNotOptimize(std::strtof(field.c_str(), nullptr));
    }
  }
  set_field_counter(state);
}

} // namespace

BENCHMARK(parse_f32_fields)->ArgName("width")->Arg(12)->Arg(15);
BENCHMARK(parse_field_fields)->ArgName("width")->Arg(12)->Arg(15);
BENCHMARK(strtof_fields)->ArgName("width")->Arg(12)->Arg(15);
