// tests/cpp/reader/reader_failures_test.cpp: the message of every way a plot file can be broken
#include "lib.h"
#include "support/failure_message.h"
#include "support/temp_file.h"

#include <gtest/gtest.h>
#include <string>

namespace korvane {
namespace {

const std::string invalid_utf8 =
    R"(Failed to read line!: Error { kind: InvalidData, message: "stream did not contain valid UTF-8" })";

struct failure_case {
  const char* name;
  std::string contents;
  std::uint32_t width;
  std::string message;
};

// Names the case instead of dumping its bytes.
void PrintTo(const failure_case& c, std::ostream* out) {
  *out << c.name;
}

class broken_file : public ::testing::TestWithParam<failure_case> {};

TEST_P(broken_file, fails_with_its_message) {
  const testing::temp_file file(GetParam().contents);
  EXPECT_EQ(testing::failure_message([&] { (void)read_plot_file(file.path(), GetParam().width); }),
            GetParam().message);
}

const std::string data_line_30 = " 1.00000E+00 2.50000E-01-3.000";
// Offset 256 falls inside the two-byte character at 255..257.
const std::string long_line = std::string(255, ' ') + "\xc3\xa9" + std::string(40, 'x');

INSTANTIATE_TEST_SUITE_P(
    reader_failures_test, broken_file,
    ::testing::Values(
        failure_case{"empty_file", "", 12, "Failed ot read line!"},
        failure_case{"first_line_not_utf8", "title \xff 1\n", 12, invalid_utf8},
        failure_case{"name_line_not_utf8", "1\n\xc0\xaf\n", 12, invalid_utf8},
        failure_case{"passed_over_line_not_utf8", "title 0\nok\n\xed\xa0\x80\n", 12, invalid_utf8},
        failure_case{"header_line_truncated_utf8", "1\na\nh\n         1.0\n\xe2\x82", 12,
                     invalid_utf8},
        failure_case{"fractional_count", "x y 3.5\n", 12,
                     "The first line should end with the number of parameters:\n'x y 3.5'"},
        failure_case{"negative_count", "title -2\r\n", 12,
                     "The first line should end with the number of parameters:\n'title -2'"},
        failure_case{"count_too_large", "4294967296\n", 12,
                     "The first line should end with the number of parameters:\n'4294967296'"},
        failure_case{"token_after_count", "TITLE 12 x\n", 12,
                     "The first line should end with the number of parameters:\n'TITLE 12 x'"},
        failure_case{"byte_order_mark_before_count",
                     "\xef\xbb\xbf"
                     "3\n",
                     12,
                     "The first line should end with the number of parameters:\n'\xef\xbb\xbf"
                     "3'"},
        failure_case{"missing_parameter_name", "title 3\nA\nB\n", 12, "Failed to read line!"},
        failure_case{"blank_line_after_last_block", "1\na\nh\n         1.0\n\n", 12,
                     "Error reading line"},
        failure_case{"header_is_last_line", "1\na\nh\n         1.0\nh", 12, "Error reading line"},
        failure_case{"second_data_line_missing",
                     "11\na\na\na\na\na\na\na\na\na\na\na\nh\n" + std::string(120, '1') + "\n", 12,
                     "Error reading line"},
        failure_case{"data_line_too_short", "3\na\nb\nc\nh\n" + data_line_30 + "\n", 12,
                     "byte index 36 is out of bounds of `" + data_line_30 + "`"},
        failure_case{"blank_data_line", "2\na\nb\nh\n\n", 15,
                     "byte index 15 is out of bounds of ``"},
        failure_case{"width_beyond_every_line", "1\na\nh\n 1.5\n", 40,
                     "byte index 40 is out of bounds of ` 1.5`"},
        failure_case{"long_line_shown_cut", "1\na\nh\n" + long_line + "\n", 300,
                     "byte index 300 is out of bounds of `" + std::string(255, ' ') + "`[...]"},
        failure_case{"field_ends_inside_character",
                     "2\na\nb\nh\n        1.0\xc3\xa9" + std::string(11, ' ') + "\n", 12,
                     "byte index 12 is not a char boundary; it is inside '\xc3\xa9' (bytes 11..13) "
                     "of `        1.0\xc3\xa9" +
                         std::string(11, ' ') + "`"},
        failure_case{"width_zero_with_a_block", "1\na\nh\n1.0\n", 0,
                     "Could not parse line: ParseFloatError { kind: Empty }"},
        failure_case{"field_of_spaces", "2\na\nb\nh\n  1.0       \n", 6,
                     "Could not parse line: ParseFloatError { kind: Empty }"},
        failure_case{"fortran_double_exponent", "1\na\nh\n 1.0D+00\n", 8,
                     "Could not parse line: ParseFloatError { kind: Invalid }"},
        failure_case{"three_digit_exponent", "1\na\nh\n 1.23456-105\n", 12,
                     "Could not parse line: ParseFloatError { kind: Invalid }"}),
    [](const ::testing::TestParamInfo<failure_case>& param_info) { return param_info.param.name; });

TEST(reader_failures_test, missing_file) {
  EXPECT_EQ(
      testing::failure_message([] { (void)read_plot_file("/nonexistent/plot", 12); }),
      R"(Plot file not found!: Os { code: 2, kind: NotFound, message: "No such file or directory" })");
}

TEST(reader_failures_test, nul_in_path_is_never_opened) {
  using namespace std::literals;
  EXPECT_EQ(
      testing::failure_message([] { (void)read_plot_file("/tmp\0/x"sv, 12); }),
      R"(Plot file not found!: Error { kind: InvalidInput, message: "file name contained an unexpected NUL byte" })");
}

TEST(reader_failures_test, directory_fails_at_first_read) {
  EXPECT_EQ(
      testing::failure_message([] { (void)read_plot_file("/tmp", 12); }),
      R"(Failed to read line!: Os { code: 21, kind: IsADirectory, message: "Is a directory" })");
}

TEST(reader_failures_test, bad_count_is_announced_on_standard_output) {
  const testing::temp_file file("x y 3.5\nA\n");
  ::testing::internal::CaptureStdout();
  const auto message = testing::failure_message([&] { (void)read_plot_file(file.path(), 12); });
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Error: '3.5' is not a valid number of parameters!\n");
  EXPECT_TRUE(message.has_value());
}

} // namespace
} // namespace korvane
