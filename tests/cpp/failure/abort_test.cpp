// tests/cpp/failure/abort_test.cpp: the failures that end the process, and what they write first
#include "support/failure_driver.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::testing {
namespace {

const std::string driver_file = "tests/cpp/failure/driver.cpp";
const std::string exhaustion_line = "memory allocation of 4611686018427387903 bytes failed\n";
const std::string abort_line = "thread caused non-unwinding panic. aborting.\n";

// AddressSanitizer warns about each refused allocation, in a line of its own starting "==".
std::string without_sanitizer_warnings(const std::string& err) {
  std::string kept;
  for (std::size_t line = 0; line < err.size();) {
    const std::size_t next = std::min(err.find('\n', line), err.size() - 1) + 1;
    const std::string_view text = std::string_view(err).substr(line, next - line);
    if (!(text.starts_with("==") &&
          text.find("AddressSanitizer failed to allocate") != std::string_view::npos)) {
      kept += text;
    }
    line = next;
  }
  return kept;
}

// The full backtrace block at the start of text, and what follows it.
std::pair<std::string, std::string> split_full_block(const std::string& text) {
  EXPECT_TRUE(text.starts_with("stack backtrace:\n")) << text;
  const std::size_t end = text.find("\nthread '");
  return {text.substr(0, end), end == std::string::npos ? "" : text.substr(end)};
}

TEST(abort_test, memory_exhaustion) {
  struct row {
    const char* scenario;
    std::optional<std::string> style;
    const char* after_line;
  };
  const row rows[] = {
      {"exhaustion", std::nullopt, "note"},
      {"exhaustion", "0", "note"},
      // The note does not depend on an earlier report having written it already.
      {"exhaustion-after-failure", std::nullopt, "note"},
      {"exhaustion", "1", "short"},
      {"exhaustion", "full", "full"},
  };
  for (const row& r : rows) {
    const child_outcome run = run_failure_driver({r.scenario}, r.style);
    EXPECT_EQ(run.signal, SIGABRT) << r.scenario;
    std::string err = without_line_numbers(without_sanitizer_warnings(run.err));
    if (std::string_view(r.scenario) == "exhaustion-after-failure") {
      const std::string earlier = report_header(run.pid, driver_file, "reported first");
      ASSERT_TRUE(err.starts_with(earlier + run_with_note)) << err;
      err.erase(0, earlier.size() + run_with_note.size());
    }
    ASSERT_TRUE(err.starts_with(exhaustion_line)) << err;
    const std::string rest = err.substr(exhaustion_line.size());
    const std::string_view after(r.after_line);
    if (after == "note") {
      EXPECT_EQ(rest, run_with_note);
    } else {
      EXPECT_TRUE(rest.starts_with("stack backtrace:\n")) << rest;
      EXPECT_EQ(rest.ends_with(details_note), after == "short") << rest;
      EXPECT_EQ(rest.find("korvane::failure::allocate_bytes") != std::string::npos, after == "full")
          << rest;
    }
  }
}

// Two threads are refused while the first one's report waits for the report lock: the second
// neither waits nor walks its stack, and its two lines are all the process writes.
TEST(abort_test, second_exhaustion_skips_the_backtrace) {
  const child_outcome run = run_failure_driver({"exhaustion-on-two-threads"}, "full");
  EXPECT_EQ(run.signal, SIGABRT) << "exit status " << run.exit_code;
  EXPECT_EQ(without_sanitizer_warnings(run.err),
            exhaustion_line + "skipping backtrace printing to avoid potential recursion\n");
}

TEST(abort_test, failure_raised_during_cleanup) {
  const child_outcome run = run_failure_driver({"cleanup"}, std::nullopt);
  EXPECT_EQ(run.signal, SIGABRT);
  const std::string err = without_line_numbers(run.err);
  const std::string first = report_header(run.pid, driver_file, "first failure") + run_with_note;
  const std::string second = report_header(run.pid, driver_file, "raised during cleanup");
  ASSERT_TRUE(err.starts_with(first + second)) << err;
  const auto [block, rest] = split_full_block(err.substr(first.size() + second.size()));
  EXPECT_NE(block.find(" - korvane::raise_failure("), std::string::npos) << block;
  EXPECT_EQ(rest, report_header(run.pid, "src/failure/raise.cpp",
                                "panic in a destructor during cleanup") +
                      abort_line);
}

TEST(abort_test, failure_escaping_the_conversion_stage) {
  const child_outcome run = run_failure_driver({"trap"}, "0");
  EXPECT_EQ(run.signal, SIGABRT);
  const std::string err = without_line_numbers(run.err);
  const std::string first =
      report_header(run.pid, driver_file, "escaped the conversion") + run_with_note;
  const std::string trap = report_header(run.pid, driver_file, "uncaught panic at ffi boundary");
  ASSERT_TRUE(err.starts_with(first + trap)) << err;
  const auto [block, rest] = split_full_block(err.substr(first.size() + trap.size()));
  EXPECT_NE(block.find(" - korvane::failure::ffi_boundary_trap("), std::string::npos) << block;
  EXPECT_EQ(rest, report_header(run.pid, "src/failure/entry.cpp",
                                "panic in a destructor during cleanup") +
                      abort_line);
}

TEST(abort_test, failure_raised_while_composing_a_message) {
  for (const std::optional<std::string>& style :
       {std::optional<std::string>(), std::optional<std::string>("full")}) {
    const child_outcome run = run_failure_driver({"composing"}, style);
    EXPECT_EQ(run.signal, SIGABRT);
    EXPECT_EQ(without_line_numbers(run.err),
              "panicked at " + driver_file +
                  ":L:C:\nstrerror_r failure\nthread panicked while processing panic. aborting.\n");
  }
}

TEST(abort_test, resumption_banner) {
  const std::string banner =
      "--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n"
      "Python stack trace below:\n";
  {
    const child_outcome run = run_failure_driver({"banner"}, std::nullopt);
    EXPECT_EQ(run.err, banner);
    EXPECT_EQ(run.out, "caught: resumed @ " + driver_file + "\n");
    EXPECT_EQ(run.exit_code, 0);
  }
  {
    child_options closed;
    closed.arguments = {"--close", "2"};
    const child_outcome run = run_failure_driver({"banner"}, std::nullopt, closed);
    EXPECT_EQ(run.out, "caught: resumed @ " + driver_file + "\n");
    EXPECT_EQ(run.exit_code, 0);
  }
}

} // namespace
} // namespace korvane::testing
