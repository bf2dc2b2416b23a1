// tests/cpp/failure/print_failure_test.cpp: writes to standard output and the resumption banner
#include "failure/entry.h"
#include "stdout_stream.h"
#include "support/failure_message.h"
#include "support/write_capture.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <korvane/read_failure.h>
#include <optional>
#include <string>
#include <unistd.h>

namespace korvane {
namespace {

using testing::write_capture;
using testing::write_reply;

// Runs body with the given replies on target; the failure raised, if any.
std::optional<read_failure> run_with(int target, testing::write_script replies,
                                     const std::function<void()>& body, std::string& received) {
  const write_capture capture([&](int fd, std::size_t call) {
    return fd == target ? replies(fd, call) : write_capture::accept_everything(fd, call);
  });
  std::optional<read_failure> failure = testing::raised_failure(body);
  received = capture.received(target);
  return failure;
}

struct outcome_row {
  const char* name;
  testing::write_script replies;
  bool delivered;
  const char* failure_tail;
};

const outcome_row outcome_rows[] = {
    {"accepted", write_capture::accept_everything, true, nullptr},
    {"interrupted once",
     [](int, std::size_t call) {
       return call == 0 ? write_reply{-1, EINTR} : write_reply{999};
     },
     true, nullptr},
    {"three bytes at a time", [](int, std::size_t) { return write_reply{3}; }, true, nullptr},
    {"closed",
     [](int, std::size_t) {
       return write_reply{-1, EBADF};
     },
     false, nullptr},
    {"input/output error",
     [](int, std::size_t) {
       return write_reply{-1, EIO};
     },
     false, "Input/output error (os error 5)"},
    {"device full",
     [](int, std::size_t) {
       return write_reply{-1, ENOSPC};
     },
     false, "No space left on device (os error 28)"},
    {"nothing accepted", [](int, std::size_t) { return write_reply{0}; }, false,
     "failed to write whole buffer"},
};

TEST(print_failure_test, standard_output) {
  const std::string notice = "Error: 'x' is not a valid number of parameters!\n";
  for (const outcome_row& r : outcome_rows) {
    std::string received;
    const std::optional<read_failure> failure = run_with(
        STDOUT_FILENO, r.replies, [&] { print_line(notice); }, received);
    EXPECT_EQ(received == notice, r.delivered) << r.name;
    ASSERT_EQ(failure.has_value(), r.failure_tail != nullptr) << r.name;
    if (failure) {
      EXPECT_EQ(std::string_view(failure->message()),
                std::string("failed printing to stdout: ") + r.failure_tail);
      EXPECT_STREQ(failure->where().file, "src/lib/stdout_stream.cpp");
    }
  }
}

TEST(print_failure_test, resumption_banner) {
  const std::string banner =
      "--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n"
      "Python stack trace below:\n";
  for (const outcome_row& r : outcome_rows) {
    std::string received;
    const std::optional<read_failure> failure = run_with(
        STDERR_FILENO, r.replies, [] { failure::write_resume_banner(); }, received);
    ASSERT_EQ(failure.has_value(), r.failure_tail != nullptr) << r.name;
    if (failure) {
      EXPECT_EQ(std::string_view(failure->message()),
                std::string("failed printing to stderr: ") + r.failure_tail);
    } else {
      EXPECT_EQ(received == banner, r.delivered) << r.name;
    }
  }
}

} // namespace
} // namespace korvane
