// tests/cpp/reader/reader_test.cpp: plot files that read into columns
#include "lib.h"
#include "support/temp_file.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

using bit_columns = std::vector<std::vector<std::uint32_t>>;

// Bit patterns, so that -0.0 and NaN compare exactly.
bit_columns read_bits(std::string_view contents, std::uint32_t width) {
  const testing::temp_file file(contents);
  const columns data = read_plot_file(file.path(), width);
  bit_columns out;
  for (const column& c : data) {
    auto& bits = out.emplace_back();
    for (const float value : c) {
      bits.push_back(std::bit_cast<std::uint32_t>(value));
    }
  }
  return out;
}

std::vector<std::uint32_t> bits_of(std::initializer_list<float> values) {
  std::vector<std::uint32_t> out;
  for (const float value : values) {
    out.push_back(std::bit_cast<std::uint32_t>(value));
  }
  return out;
}

const std::string example = " EXAMPLE        3\n A\n B\n C\n block one\n"
                            " 1.00000E+00 2.50000E-01-3.00000E+02\n block two\n"
                            " 2.00000E+00 5.00000E-01-6.00000E+02\n";

struct reading_case {
  const char* name;
  std::string contents;
  std::uint32_t width;
  bit_columns expected;
};

// Names the case instead of dumping its bytes.
void PrintTo(const reading_case& c, std::ostream* out) {
  *out << c.name;
}

class reading : public ::testing::TestWithParam<reading_case> {};

TEST_P(reading, gives_columns) {
  EXPECT_EQ(read_bits(GetParam().contents, GetParam().width), GetParam().expected);
}

std::string twelve_parameters() {
  std::string file = "TITLE 12\n";
  for (int i = 0; i < 12; ++i) {
    file += "name\n";
  }
  file += "header\n";
  for (int i = 0; i < 10; ++i) {
    file += "        " + std::to_string(i) + ".5 ";
  }
  file += "\n        10.0          11\n";
  return file;
}

const bit_columns example_columns = {bits_of({1.0F, 2.0F}), bits_of({0.25F, 0.5F}),
                                     bits_of({-300.0F, -600.0F})};

INSTANTIATE_TEST_SUITE_P(
    reader_test, reading,
    ::testing::Values(
        reading_case{"example", example, 12, example_columns},
        reading_case{"crlf_terminators",
                     " EXAMPLE 3\r\n A\r\n B\r\n C\r\n one\r\n"
                     " 1.00000E+00 2.50000E-01-3.00000E+02\r\n two\r\n"
                     " 2.00000E+00 5.00000E-01-6.00000E+02\r\n",
                     12, example_columns},
        reading_case{"no_final_line_feed", example.substr(0, example.size() - 1), 12,
                     example_columns},
        reading_case{"bytes_after_last_field_ignored",
                     "3\nA\nB\nC\n\xc3\xa9 any header \x01\n"
                     " 1.00000E+00 2.50000E-01-3.00000E+02 garbage \xe2\x82\xac\n"
                     "\n 2.00000E+00 5.00000E-01-6.00000E+02xyz\n",
                     12, example_columns},
        reading_case{"count_with_plus_and_zeros",
                     "x +002\na\nb\nh\n1.5 2.5 \n",
                     4,
                     {bits_of({1.5F}), bits_of({2.5F})}},
        reading_case{"count_zero_passes_over_lines", "x 0\nanything\n\nmore\n", 12, {}},
        reading_case{"only_a_line_feed", "\n", 12, {}},
        reading_case{"blank_first_line", " \t \r\nignored\n", 12, {}},
        reading_case{"ends_after_parameter_names", "title 2\nA\nB\n", 12, {{}, {}}},
        reading_case{"width_zero_without_blocks", "title 2\nA\nB", 0, {{}, {}}},
        reading_case{"twelve_parameters_two_data_lines",
                     twelve_parameters(),
                     12,
                     {bits_of({0.5F}), bits_of({1.5F}), bits_of({2.5F}), bits_of({3.5F}),
                      bits_of({4.5F}), bits_of({5.5F}), bits_of({6.5F}), bits_of({7.5F}),
                      bits_of({8.5F}), bits_of({9.5F}), bits_of({10.0F}), bits_of({11.0F})}},
        reading_case{"special_values",
                     "2\na\nb\nh\n    -0  -nan\nh\n   inf 1e-45\n",
                     6,
                     {{0x80000000U, 0x7F800000U}, {0xFFC00000U, 0x00000001U}}},
        reading_case{"field_whitespace_unicode",
                     "1\na\nh\n\xc2\xa0-3.25\xe2\x80\x83\n",
                     10,
                     {bits_of({-3.25F})}}),
    [](const ::testing::TestParamInfo<reading_case>& param_info) { return param_info.param.name; });

TEST(reader_test, long_lines_span_buffer_refills) {
  // Header lines of 9000 bytes and 1500 parameters: lines and blocks cross many refills.
  constexpr int count = 1500;
  std::string file = "title " + std::to_string(count) + "\n";
  for (int i = 0; i < count; ++i) {
    file += "p\n";
  }
  std::vector<std::string> lines;
  for (int block = 0; block < 3; ++block) {
    file += std::string(9000, 'h') + "\n";
    for (int i = 0; i < count; ++i) {
      if (i % 10 == 0 && i != 0) {
        file += "\r\n";
      }
      char field[16];
      std::snprintf(field, sizeof field, "%12d", i * 3 + block);
      file += field;
    }
    file += "\n";
  }
  const bit_columns data = read_bits(file, 12);
  ASSERT_EQ(data.size(), std::size_t{count});
  for (int i = 0; i < count; ++i) {
    const auto expected = bits_of(
        {static_cast<float>(i * 3), static_cast<float>(i * 3 + 1), static_cast<float>(i * 3 + 2)});
    ASSERT_EQ(data[static_cast<std::size_t>(i)], expected) << "parameter " << i;
  }
}

// Blocks of twelve parameters in the simulation's layout, value block + parameter / 100 each,
// lines ended by the terminator; header line i is header_length(i) bytes long, so the first
// block can misjudge the others.
template <class HeaderLength>
std::string blocks_of_twelve(int blocks, HeaderLength header_length, const char* terminator) {
  std::string file = "title 12\n";
  for (int i = 0; i < 12; ++i) {
    file += "p\n";
  }
  for (int block = 0; block < blocks; ++block) {
    file += std::string(static_cast<std::size_t>(header_length(block)), 'h') + terminator;
    for (int i = 0; i < 12; ++i) {
      char field[16];
      std::snprintf(field, sizeof field, "%12.5E", block + i / 100.0);
      file += field;
      if (i == 9 || i == 11) {
        file += terminator;
      }
    }
  }
  return file;
}

TEST(reader_test, columns_hold_every_block_whatever_the_first_block_suggests) {
  struct case_of_headers {
    const char* name;
    int (*header_length)(int block);
    const char* terminator;
  };
  const case_of_headers cases[] = {
      {"first block longest", [](int block) { return block == 0 ? 20000 : 4; }, "\n"},
      {"first block shortest", [](int block) { return block == 0 ? 1 : 300; }, "\n"},
      {"blocks alike", [](int) { return 30; }, "\n"},
      {"blocks alike, CRLF", [](int) { return 30; }, "\r\n"},
  };
  constexpr int blocks = 700;
  for (const case_of_headers& c : cases) {
    const bit_columns data = read_bits(blocks_of_twelve(blocks, c.header_length, c.terminator), 12);
    ASSERT_EQ(data.size(), 12U) << c.name;
    for (std::size_t i = 0; i < data.size(); ++i) {
      ASSERT_EQ(data[i].size(), std::size_t{blocks}) << c.name << ", parameter " << i;
      for (int block = 0; block < blocks; ++block) {
        char field[16];
        std::snprintf(field, sizeof field, "%12.5E", block + static_cast<double>(i) / 100.0);
        ASSERT_EQ(data[i][static_cast<std::size_t>(block)],
                  std::bit_cast<std::uint32_t>(std::strtof(field, nullptr)))
            << c.name << ", parameter " << i << ", block " << block;
      }
    }
  }
}

} // namespace
} // namespace korvane
