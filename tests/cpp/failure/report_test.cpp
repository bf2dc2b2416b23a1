// tests/cpp/failure/report_test.cpp: the header and message block of a failure report
#include "failure/report.h"
#include "support/write_capture.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace korvane::failure {
namespace {

using testing::write_capture;
using testing::write_reply;

constexpr failure_location where{"src/lib.cpp", 57, 18};

std::string expected_block(const std::string& message) {
  return "\nthread '<unnamed>' (" + std::to_string(::gettid()) +
         ") panicked at src/lib.cpp:57:18:\n" + message + "\n";
}

std::string block_of_size(std::size_t size) {
  const std::size_t frame = expected_block("").size();
  return std::string(size - frame, 'm');
}

TEST(report_test, header_and_message_in_one_write) {
  const write_capture capture;
  write_report("Failed to read line!", where, backtrace_style::none);
  EXPECT_EQ(capture.received(STDERR_FILENO), expected_block("Failed to read line!"));
  EXPECT_EQ(capture.calls(STDERR_FILENO), 1U);
}

TEST(report_test, only_a_block_beyond_512_bytes_is_split) {
  struct row {
    std::size_t block_size;
    bool one_write;
  };
  for (const row r : {row{511, true}, row{512, true}, row{513, false}, row{2000, false}}) {
    const std::string message = block_of_size(r.block_size);
    const write_capture capture;
    write_report(message, where, backtrace_style::none);
    EXPECT_EQ(capture.received(STDERR_FILENO), expected_block(message)) << r.block_size;
    EXPECT_EQ(capture.calls(STDERR_FILENO) == 1, r.one_write) << r.block_size;
  }
}

TEST(report_test, write_outcomes) {
  const std::string message = "Could not parse line";
  const std::string whole = expected_block(message);
  struct row {
    const char* name;
    testing::write_script script;
    std::string received;
  };
  const row rows[] = {
      {"interrupted twice",
       [](int, std::size_t call) {
         return call < 2 ? write_reply{-1, EINTR} : write_reply{99};
       },
       whole},
      {"seven bytes at a time", [](int, std::size_t) { return write_reply{7}; }, whole},
      {"input/output error",
       [](int, std::size_t) {
         return write_reply{-1, EIO};
       },
       ""},
      {"nothing accepted", [](int, std::size_t) { return write_reply{0}; }, ""},
      {"error after a partial write",
       [](int, std::size_t call) {
         return call == 0 ? write_reply{5} : write_reply{-1, EIO};
       },
       whole.substr(0, 5)},
  };
  for (const row& r : rows) {
    const write_capture capture(r.script);
    write_report(message, where, backtrace_style::none);
    EXPECT_EQ(capture.received(STDERR_FILENO), r.received) << r.name;
  }
}

TEST(report_test, failed_piece_does_not_stop_the_rest) {
  // A long message travels on its own, between the buffered header and the final line feed.
  const std::string message(600, 'x');
  const write_capture capture([](int, std::size_t call) {
    return call == 0 ? write_reply{-1, EIO} : write_reply{9999};
  });
  write_report(message, where, backtrace_style::none);
  EXPECT_EQ(capture.received(STDERR_FILENO), message + "\n");
}

} // namespace
} // namespace korvane::failure
