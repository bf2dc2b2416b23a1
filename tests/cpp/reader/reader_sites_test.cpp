// tests/cpp/reader/reader_sites_test.cpp: the line and field a reader failure says it concerns
#include "lib.h"
#include "support/failure_message.h"
#include "support/temp_file.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <korvane/read_failure.h>
#include <optional>
#include <string>

namespace korvane {
namespace {

struct site_case {
  const char* name;
  std::string contents;
  std::uint32_t width;
  read_site site;
};

void PrintTo(const site_case& c, std::ostream* out) {
  *out << c.name;
}

read_site raised_site(const std::string& contents, std::uint32_t width) {
  const testing::temp_file file(contents);
  const std::optional<read_failure> failure =
      testing::raised_failure([&] { (void)read_plot_file(file.path(), width); });
  if (!failure) {
    ADD_FAILURE() << "the read did not fail";
    return {};
  }
  return failure->site();
}

class located_failure : public ::testing::TestWithParam<site_case> {};

TEST_P(located_failure, names_its_line_and_field) {
  const read_site expected = GetParam().site;
  const read_site site = raised_site(GetParam().contents, GetParam().width);
  EXPECT_EQ(site.line_number, expected.line_number);
  EXPECT_EQ(site.line_length, expected.line_length);
  EXPECT_EQ(site.first_data_line, expected.first_data_line);
  EXPECT_EQ(site.has_field, expected.has_field);
  EXPECT_EQ(site.field_index, expected.field_index);
  EXPECT_EQ(site.field_start, expected.field_start);
  EXPECT_EQ(site.field_end, expected.field_end);
  EXPECT_EQ(site.kind, expected.kind);
}

std::string repeated(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) {
    out += piece;
  }
  return out;
}

const std::string two_blocks = "2\na\nb\nh\n         1.0         2.0\nh\n";

// A file of `count` parameters named a, whose blocks are a header line and lines of `field`:
// full lines in the simulation's layout, which the vector line reader takes where it can.
std::string layout_blocks(int count, int blocks, const std::string& field) {
  std::string out = std::to_string(count) + "\n" + repeated("a\n", count);
  for (int block = 0; block < blocks; ++block) {
    out += "h\n";
    for (int first = 0; first < count; first += 10) {
      out += repeated(field, std::min(10, count - first)) + "\n";
    }
  }
  return out;
}

const std::string w12_field = "-1.23456E-01";
const std::string w15_field = " 1.23456789E+02";

INSTANTIATE_TEST_SUITE_P(
    reader_sites_test, located_failure,
    ::testing::Values(
        site_case{"empty_file", "", 12, {.kind = failure_kind::empty_file}},
        site_case{"bad_count",
                  "x 3.5\n",
                  12,
                  {.line_number = 1, .kind = failure_kind::bad_parameter_count}},
        site_case{"missing_parameter_name",
                  "3\na\n",
                  12,
                  {.line_number = 3, .kind = failure_kind::missing_name}},
        // A read error names the line that could not be read.
        site_case{"invalid_utf8_on_line_4",
                  "title 0\nok\nok\n\xff\n",
                  12,
                  {.line_number = 4, .kind = failure_kind::cannot_read}},
        site_case{"gzip_output",
                  "\x1f\x8b\x08\x00\n",
                  12,
                  {.line_number = 1, .kind = failure_kind::compressed}},
        // A missing data line names the line that was due.
        site_case{"missing_data_line",
                  two_blocks,
                  12,
                  {.line_number = 7, .kind = failure_kind::missing_data_line}},
        site_case{"bad_field_in_second_block",
                  two_blocks + "         3.0         x.0\n",
                  12,
                  {.line_number = 7,
                   .line_length = 24,
                   .has_field = true,
                   .field_index = 1,
                   .field_start = 12,
                   .field_end = 24,
                   .kind = failure_kind::bad_field}},
        site_case{"short_second_data_line",
                  "12\n" + repeated("a\n", 12) + "h\n" + std::string(12 * 10, '1') + "\n1\n",
                  12,
                  {.line_number = 16,
                   .line_length = 1,
                   .has_field = true,
                   .field_index = 0,
                   .field_start = 0,
                   .field_end = 12,
                   .kind = failure_kind::field_outside_line}},
        // Lines read whole by the vector path still count.
        site_case{"bad_field_after_whole_lines",
                  layout_blocks(12, 2, w12_field) + "h\n" + repeated(w12_field, 3) +
                      "1.23456E-01x" + repeated(w12_field, 6) + "\n",
                  12,
                  {.line_number = 21,
                   .line_length = 120,
                   .has_field = true,
                   .field_index = 3,
                   .field_start = 36,
                   .field_end = 48,
                   .kind = failure_kind::bad_field}},
        site_case{"missing_line_after_whole_lines",
                  layout_blocks(10, 1, w15_field) + "h\n",
                  15,
                  {.line_number = 15, .kind = failure_kind::missing_data_line}},
        // A line longer than its fields is read field by field, and the next one still counts.
        site_case{"blank_field_after_a_longer_line",
                  layout_blocks(10, 3, w15_field) + "h\n" + repeated(w15_field, 10) + "x\nh\n" +
                      repeated(w15_field, 9) + std::string(15, ' ') + "\n",
                  15,
                  {.line_number = 21,
                   .line_length = 150,
                   .has_field = true,
                   .field_index = 9,
                   .field_start = 135,
                   .field_end = 150,
                   .kind = failure_kind::bad_field}},
        site_case{"field_past_line_end",
                  "2\na\nb\nh\n         1.0     2\n",
                  12,
                  {.line_number = 5,
                   .line_length = 18,
                   .first_data_line = true,
                   .has_field = true,
                   .field_index = 1,
                   .field_start = 12,
                   .field_end = 24,
                   .kind = failure_kind::field_outside_line}}),
    [](const ::testing::TestParamInfo<site_case>& param_info) { return param_info.param.name; });

} // namespace
} // namespace korvane
