// tests/cpp/reader/stop_check_test.cpp: a reader asks its stop check after interrupted calls and
// every few megabytes, and stops when it says so
#include "lib.h"
#include "line_source.h"
#include "posix.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <korvane/read_failure.h>
#include <string>

namespace korvane {
namespace {

// The stop check's questions so far, and the question it first answers "stop" to (0: never).
int asks = 0;
int interrupted_asks = 0;
int stop_at = 0;
// Input bytes given by the reads below when asked.
std::uint64_t given_at_ask = 0;

std::uint64_t given = 0;
std::uint64_t input_length = 0;
int interruptions_left = 0;

bool counting_check(posix::stop_reason why) {
  interrupted_asks += why == posix::stop_reason::interrupted ? 1 : 0;
  given_at_ask = given;
  return ++asks == stop_at;
}

// input_length bytes of 'x' and a line feed, each read interrupted interruptions_left times
// before the first.
ssize_t stream_read(int, void* buffer, std::size_t size) {
  if (interruptions_left > 0) {
    --interruptions_left;
    errno = EINTR;
    return -1;
  }
  const std::uint64_t left = input_length + 1 - given;
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
  std::memset(buffer, 'x', count);
  if (count != 0 && given + count == input_length + 1) {
    static_cast<char*>(buffer)[count - 1] = '\n';
  }
  given += count;
  return static_cast<ssize_t>(count);
}

int interrupted_open(const char*, int) {
  errno = EINTR;
  return -1;
}

class stop_check_test : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = posix::calls;
    posix::calls.read = stream_read;
    posix::calls.open = interrupted_open;
    asks = stop_at = interrupted_asks = 0;
    given = given_at_ask = 0;
    interruptions_left = 0;
  }
  void TearDown() override { posix::calls = saved_; }

  // The first line of the stream through a line source with the counting check.
  static next_line_result first_line(std::uint64_t length) {
    input_length = length;
    line_source source(-1, line_source::input::whole, line_source::buffer_size, counting_check);
    return source.next_line();
  }

private:
  posix::system_calls saved_{};
};

constexpr std::uint64_t interval = line_source::stop_check_interval;

TEST_F(stop_check_test, asks_after_each_interrupted_read_and_repeats_it_unless_told_to_stop) {
  struct interrupt_case {
    int interruptions;
    int stop_at;
    bool stops;
  };
  const interrupt_case cases[] = {{1, 0, false}, {3, 0, false}, {1, 1, true}, {3, 2, true}};
  for (const interrupt_case& c : cases) {
    SetUp();
    interruptions_left = c.interruptions;
    stop_at = c.stop_at;
    const next_line_result line = first_line(10);
    EXPECT_EQ(asks, c.stops ? c.stop_at : c.interruptions) << c.interruptions;
    EXPECT_EQ(interrupted_asks, asks);
    if (c.stops) {
      ASSERT_EQ(line.what, next_line_result::outcome::error);
      EXPECT_EQ(line.error.os_code(), EINTR);
      EXPECT_EQ(given, 0U);
    } else {
      ASSERT_EQ(line.what, next_line_result::outcome::found);
      EXPECT_EQ(line.text.size(), 10U);
    }
  }
}

TEST_F(stop_check_test, asks_every_interval_of_bytes_read) {
  const next_line_result line = first_line(3 * interval);
  ASSERT_EQ(line.what, next_line_result::outcome::found);
  EXPECT_EQ(line.text.size(), 3 * interval);
  EXPECT_EQ(asks, 3);
  EXPECT_EQ(interrupted_asks, 0);
}

TEST_F(stop_check_test, a_stop_after_an_interval_fails_the_line_as_interrupted) {
  stop_at = 2;
  const next_line_result line = first_line(10 * interval);
  ASSERT_EQ(line.what, next_line_result::outcome::error);
  EXPECT_EQ(line.error.os_code(), EINTR);
  EXPECT_EQ(given_at_ask, 2 * interval);
  EXPECT_EQ(given, 2 * interval);
}

TEST_F(stop_check_test, an_interrupted_open_fails_once_the_check_says_stop) {
  stop_at = 3;
  const quiet_failures quiet;
  try {
    (void)open_plot_file("plot.txt", counting_check);
    ADD_FAILURE() << "the open did not fail";
  } catch (const read_failure& failure) {
    EXPECT_EQ(failure.site().kind, failure_kind::cannot_open);
    EXPECT_EQ(failure.error().os_code(), EINTR);
  }
  EXPECT_EQ(asks, 3);
  EXPECT_EQ(interrupted_asks, 3);
}

} // namespace
} // namespace korvane
