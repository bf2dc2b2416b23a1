// tests/cpp/failure/report_process_test.cpp: failure reports as whole processes write them
#include "support/failure_driver.h"
#include "support/temp_file.h"

#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace korvane::testing {
namespace {

const std::string missing_path = "/nonexistent/korvane/plot.txt";
const std::string not_found_message =
    "Plot file not found!: Os { code: 2, kind: NotFound, message: \"No such file or directory\" }";

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

// The frame lines of the backtrace block that follows header in err.
std::vector<std::string> frames_after(const std::string& err, const std::string& header) {
  const std::string opening = header + "stack backtrace:\n";
  EXPECT_TRUE(err.starts_with(opening)) << err;
  std::string_view rest(err);
  rest.remove_prefix(std::min(opening.size(), rest.size()));
  return lines_of(rest.substr(0, rest.find("\nthread '")));
}

// Frame lines carry a number; inlined functions and source lines are indented further.
bool is_numbered(const std::string& line) {
  return line.size() > 6 && line.find_first_not_of(' ') < 4 && line.find(": ") == 4;
}

TEST(report_process_test, note_only_on_the_first_report) {
  for (const std::optional<std::string>& style :
       {std::optional<std::string>(), std::optional<std::string>("0")}) {
    const child_outcome run = run_failure_driver({"read", missing_path, "2"}, style);
    const std::string header = report_header(run.pid, "src/lib/open.cpp", not_found_message);
    EXPECT_EQ(without_line_numbers(run.err), header + run_with_note + header);
    EXPECT_EQ(run.out, "caught: " + not_found_message + " @ src/lib/open.cpp\n" +
                           "caught: " + not_found_message + " @ src/lib/open.cpp\n");
    EXPECT_EQ(run.exit_code, 0);
  }
}

TEST(report_process_test, short_backtrace) {
  for (const char* style : {"1", "", "yes", "FULL"}) {
    const child_outcome run = run_failure_driver({"read", missing_path, "1"}, style);
    const std::string err = without_line_numbers(run.err);
    const std::string header = report_header(run.pid, "src/lib/open.cpp", not_found_message);
    const std::vector<std::string> frames = frames_after(err, header);
    ASSERT_FALSE(frames.empty()) << style;
    EXPECT_TRUE(frames.front().starts_with("   0: ")) << style << "\n" << err;
    EXPECT_EQ(frames.back() + "\n", details_note) << style;
    EXPECT_NE(err.find("read_plot_file"), std::string::npos) << err;
    EXPECT_EQ(err.find("korvane::failure::"), std::string::npos) << err;
    EXPECT_EQ(err.find("raise_failure"), std::string::npos) << err;
    EXPECT_EQ(err.find(run_with_note), std::string::npos) << err;
    EXPECT_EQ(run.exit_code, 0);
  }
}

TEST(report_process_test, full_backtrace) {
  const child_outcome run = run_failure_driver({"read", missing_path, "1"}, "full");
  const std::string err = without_line_numbers(run.err);
  const std::vector<std::string> frames =
      frames_after(err, report_header(run.pid, "src/lib/open.cpp", not_found_message));
  ASSERT_FALSE(frames.empty());
  std::size_t numbered = 0;
  for (const std::string& line : frames) {
    if (is_numbered(line)) {
      EXPECT_EQ(line.find(": 0x"), 4U) << line;
      EXPECT_EQ(line.find(" - "), 24U) << line;
      ++numbered;
    }
  }
  EXPECT_GT(numbered, 2U);
  EXPECT_NE(err.find(" - korvane::raise_failure("), std::string::npos) << err;
  EXPECT_EQ(err.find("note:"), std::string::npos) << err;
}

TEST(report_process_test, short_backtrace_walks_at_most_101_frames) {
  struct row {
    const char* style;
    bool limited;
  };
  for (const row r : {row{"1", true}, row{"full", false}}) {
    const child_outcome run = run_failure_driver({"deep", "150"}, r.style);
    const std::string err = without_line_numbers(run.err);
    std::size_t numbered = 0;
    for (const std::string& line :
         frames_after(err, report_header(run.pid, "tests/cpp/failure/driver.cpp", "deep"))) {
      numbered += is_numbered(line) ? 1U : 0U;
    }
    // The machinery frames the short form leaves out count toward its limit.
    if (r.limited) {
      EXPECT_GT(numbered, 90U);
      EXPECT_LT(numbered, 101U);
    } else {
      EXPECT_GT(numbered, 150U);
    }
  }
}

TEST(report_process_test, later_change_of_the_variable_changes_nothing) {
  struct row {
    std::optional<std::string> style;
    const char* later;
  };
  for (const row& r : {row{std::nullopt, "full"}, row{"full", "0"}, row{"1", "0"}}) {
    const child_outcome run = run_failure_driver({"read", missing_path, "2", r.later}, r.style);
    const std::string err = without_line_numbers(run.err);
    const std::string header = report_header(run.pid, "src/lib/open.cpp", not_found_message);
    const std::size_t second = err.rfind(header);
    ASSERT_NE(second, std::string::npos) << err;
    ASSERT_GT(second, 0U) << err;
    // The second report has the first one's shape: the same text after its header, but for
    // the note line that only the first carries.
    std::string first_tail = err.substr(header.size(), second - header.size());
    const std::string second_tail = err.substr(second + header.size());
    if (!r.style) {
      EXPECT_EQ(first_tail, run_with_note);
      EXPECT_EQ(second_tail, "");
    } else {
      EXPECT_EQ(lines_of(first_tail).size(), lines_of(second_tail).size()) << err;
      EXPECT_TRUE(second_tail.starts_with("stack backtrace:\n")) << err;
    }
  }
}

TEST(report_process_test, long_report_written_whole) {
  const child_outcome run = run_failure_driver({"long", "3000"}, std::nullopt);
  EXPECT_EQ(without_line_numbers(run.err),
            report_header(run.pid, "tests/cpp/failure/driver.cpp", std::string(3000, 'x')) +
                run_with_note);
  EXPECT_EQ(run.exit_code, 0);
}

TEST(report_process_test, closed_stderr_loses_the_report_only) {
  child_options closed;
  closed.arguments = {"--close", "2"};
  const child_outcome run = run_failure_driver({"read", missing_path, "1"}, "1", closed);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "caught: " + not_found_message + " @ src/lib/open.cpp\n");
  EXPECT_EQ(run.exit_code, 0);
}

TEST(report_process_test, parameter_count_notice) {
  const temp_file plot(" EXAMPLE       x3\n A\n");
  const std::string message =
      "The first line should end with the number of parameters:\n' EXAMPLE       x3'";
  const std::string notice = "Error: 'x3' is not a valid number of parameters!\n";
  const std::string caught = "caught: " + message + " @ src/lib/first_line_tokens.cpp\n";
  {
    const child_outcome run = run_failure_driver({"read", plot.path(), "1"}, std::nullopt);
    EXPECT_EQ(run.out, notice + caught);
    EXPECT_EQ(without_line_numbers(run.err),
              report_header(run.pid, "src/lib/first_line_tokens.cpp", message) + run_with_note);
  }
  {
    child_options closed;
    closed.arguments = {"--close", "1"};
    const child_outcome run = run_failure_driver({"read", plot.path(), "1"}, std::nullopt, closed);
    EXPECT_EQ(without_line_numbers(run.err),
              report_header(run.pid, "src/lib/first_line_tokens.cpp", message) + run_with_note);
    EXPECT_EQ(run.exit_code, 0);
  }
  {
    child_options full_device;
    full_device.stdout_file = "/dev/full";
    const child_outcome run =
        run_failure_driver({"read", plot.path(), "1"}, std::nullopt, full_device);
    EXPECT_EQ(without_line_numbers(run.err),
              report_header(run.pid, "src/lib/stdout_stream.cpp",
                            "failed printing to stdout: No space left on device (os error 28)") +
                  run_with_note);
    EXPECT_EQ(run.exit_code, 0);
  }
}

// Under LeakSanitizer a leak makes the child exit with a status of its own, so exit status 0
// says that the failure was carried to the catch and that nothing was left behind.
TEST(report_process_test, reader_failures_release_everything) {
  const std::string contents[] = {
      " EXAMPLE 2\n A\n",
      " EXAMPLE 2\n A\n B\n block\n",
      " EXAMPLE 12\n A\n B\n C\n D\n E\n F\n G\n H\n I\n J\n K\n L\n block\n"
      " 1.00000E+00 2.00000E+00 3.00000E+00 4.00000E+00 5.00000E+00 6.00000E+00 7.00000E+00 "
      "8.00000E+00 9.00000E+00 1.00000E+01\n 1.10000E+01 one\n",
      " EXAMPLE 1\n A\n block\n \xff\n",
  };
  for (const std::string& text : contents) {
    const temp_file plot(text);
    const child_outcome run = run_failure_driver({"read", plot.path(), "1"}, "1");
    EXPECT_EQ(run.exit_code, 0) << text << run.err;
    EXPECT_TRUE(run.err.starts_with("\nthread '<unnamed>' (")) << run.err;
    EXPECT_TRUE(run.out.starts_with("caught: ")) << run.out;
  }
}

} // namespace
} // namespace korvane::testing
