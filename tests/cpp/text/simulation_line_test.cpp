// tests/cpp/text/simulation_line_test.cpp: the vector line reader against the field-by-field path
#include "text/field_layout.h"
#include "text/field_parse.h"
#include "text/simulation_line.h"

#include <array>
#include <bit>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace korvane::text {
namespace {

// A line of ten fields with room for the reader's overread.
std::string padded(const std::string& fields) {
  return fields + "\n" + std::string(simulation_line_overread, 'x');
}

// The field-by-field path's value for field j, when the simulation's layout decides it.
template <unsigned width>
detail::rounding_decision layout_value(const std::string& line, std::size_t j) {
  return detail::simulation_layout<width>(detail::load_words<width>(line.data() + j * width));
}

// Reads the line with the reader and checks what it may answer: true only when every field is
// in the layout, with the values the field-by-field path gives. Returns the reader's answer.
template <unsigned width>
bool read_and_check(simulation_line_reader read_line, const std::string& line) {
  std::array<float, simulation_line_fields> values{};
  const bool accepted = read_line(line.data(), values.data());
  for (std::size_t j = 0; accepted && j < values.size(); ++j) {
    const detail::rounding_decision expected = layout_value<width>(line, j);
    EXPECT_TRUE(expected.decided) << "field " << j << " of \"" << line << '"';
    EXPECT_EQ(std::bit_cast<std::uint32_t>(values[j]), expected.bits)
        << "field " << j << " of \"" << line << '"';
  }
  return accepted;
}

struct field_case {
  std::string field;
  /// Whether a line holding the field is read whole.
  bool read;
};

// Every case's field, put at each place of a line of ordinary fields.
template <unsigned width>
void check_cases(const std::string& ordinary, std::initializer_list<field_case> cases) {
  const simulation_line_reader read_line = simulation_line_reader_for(width);
  if (read_line == nullptr) {
    GTEST_SKIP() << "this processor lacks AVX2 or FMA";
  }
  for (const field_case& c : cases) {
    ASSERT_EQ(c.field.size(), width) << '"' << c.field << '"';
    for (std::size_t place = 0; place < simulation_line_fields; ++place) {
      std::string fields;
      for (std::size_t j = 0; j < simulation_line_fields; ++j) {
        fields += j == place ? c.field : ordinary;
      }
      EXPECT_EQ(read_and_check<width>(read_line, padded(fields)), c.read)
          << '"' << c.field << "\" at place " << place;
    }
  }
}

TEST(simulation_line_test, width_12_fields) {
  check_cases<12>(" 8.52529E-05", {
                                      {"-2.06940E+07", true},
                                      {"+1.00000e+00", true},
                                      {"-0.00000E+00", true},
                                      {" 0.00000E-99", false},
                                      // Exact float midpoints and powers past 10^22 either way.
                                      {" 2.15875E+08", true},
                                      {" 1.67772E+07", true},
                                      {"-3.40282E+38", false},
                                      {" 3.40283E+38", false},
                                      {" 1.17549E-38", false},
                                      {" 2.35099E-38", true},
                                      {" 1.00000E-31", true},
                                      // Shapes the line reader leaves to the field-by-field path.
                                      {" .123450E+05", false},
                                      {"  1.2345E+05", false},
                                      {" 1.23450E005", false},
                                      {" 1.23450D+05", false},
                                      {"\t1.23450E+05", false},
                                      {" 1.2345 E+05", false},
                                      {" 1.23450E+0\xb5", false},
                                      {"            ", false},
                                  });
}

TEST(simulation_line_test, width_15_fields) {
  check_cases<15>(" 8.52528542E-05",
                  {
                      {"-2.06940000E+07", true},
                      // 11130170.5 and 11130171.5 lie between floats: ties to even.
                      {" 1.11301705E+07", true},
                      {" 1.11301715E+07", true},
                      {" 1.67772170E+07", true},
                      {" 9.99999999E+29", true},
                      {" 9.99999999E+99", false},
                      {" 1.40129846E-45", false},
                      {"-1.23456789e-10", true},
                      {" 1.2345678E+100", false},
                      {" 1.23456789E+0 ", false},
                  });
}

// The bits of the floats from 2^-exponent_span to 2^exponent_span.
std::uniform_int_distribution<std::uint32_t> floats_within(int exponent_span) {
  const auto biased = [](int exponent) { return static_cast<std::uint32_t>(127 + exponent) << 23; };
  return std::uniform_int_distribution<std::uint32_t>(biased(-exponent_span),
                                                      biased(exponent_span) - 2);
}

// Fields printed from values near float midpoints, ten to a line.
template <unsigned width>
std::string random_line(std::mt19937_64& random, int exponent_span) {
  std::uniform_int_distribution<std::uint32_t> bits_of = floats_within(exponent_span);
  std::string fields;
  for (std::size_t j = 0; j < simulation_line_fields; ++j) {
    const std::uint32_t bits = bits_of(random);
    const double midpoint =
        (double{std::bit_cast<float>(bits)} + double{std::bit_cast<float>(bits + 1)}) / 2;
    char text[32];
    std::snprintf(text, sizeof text, "%*.*E", static_cast<int>(width), static_cast<int>(width - 7),
                  random() % 2 == 0 ? midpoint : -midpoint);
    fields += text;
  }
  return padded(fields);
}

template <unsigned width>
void check_random_lines(int exponent_span, double least_read_share) {
  const simulation_line_reader read_line = simulation_line_reader_for(width);
  if (read_line == nullptr) {
    GTEST_SKIP() << "this processor lacks AVX2 or FMA";
  }
  std::mt19937_64 random(width * 1000 + static_cast<unsigned>(exponent_span));
  constexpr int lines = 20000;
  int read = 0;
  for (int i = 0; i < lines; ++i) {
    read += read_and_check<width>(read_line, random_line<width>(random, exponent_span)) ? 1 : 0;
  }
  // Declining every line would be correct and useless.
  EXPECT_GE(read, static_cast<int>(least_read_share * lines));
}

TEST(simulation_line_test, random_lines_agree_with_the_field_path) {
  // Floats from 2^-26 to 2^26, about 10^-8 to 10^8, and from 2^-126 to 2^126.
  check_random_lines<12>(26, 0.99);
  check_random_lines<15>(26, 0.99);
  check_random_lines<12>(126, 0.1);
  check_random_lines<15>(126, 0.1);
}

// Every byte of a line replaced by every other byte: whatever the reader accepts must be in the
// layout with the field path's values.
TEST(simulation_line_test, any_changed_byte) {
  const simulation_line_reader read_line = simulation_line_reader_for(12);
  if (read_line == nullptr) {
    GTEST_SKIP() << "this processor lacks AVX2 or FMA";
  }
  std::mt19937_64 random(12);
  const std::string line = random_line<12>(random, 26);
  ASSERT_TRUE(read_and_check<12>(read_line, line));
  for (std::size_t at = 0; at < 12 * simulation_line_fields; ++at) {
    for (int byte = 0; byte < 256; ++byte) {
      std::string changed = line;
      changed[at] = static_cast<char>(byte);
      (void)read_and_check<12>(read_line, changed);
    }
  }
}

} // namespace
} // namespace korvane::text
