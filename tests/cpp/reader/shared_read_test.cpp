// tests/cpp/reader/shared_read_test.cpp: a read shared by threads stops when the calling thread's
// stop check says so, even while the threads wait on the file
#include "lib.h"
#include "posix.h"
#include "support/temp_file.h"

#include <cerrno>
#include <condition_variable>
#include <gtest/gtest.h>
#include <korvane/read_failure.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace korvane {
namespace {

std::mutex gate_mutex;
std::condition_variable gate_change;
bool gate_open = false;
int stop_asks = 0;

// pread that waits until the stop check has been asked.
ssize_t gated_pread(int fd, void* buffer, std::size_t size, off_t offset) {
  {
    std::unique_lock lock(gate_mutex);
    gate_change.wait(lock, [] { return gate_open; });
  }
  return ::pread(fd, buffer, size, offset);
}

// Says to stop, and lets the reads go on.
bool stop_and_open_gate(posix::stop_reason) {
  const std::lock_guard lock(gate_mutex);
  ++stop_asks;
  gate_open = true;
  gate_change.notify_all();
  return true;
}

std::string plot_of(int blocks) {
  std::string text = "title 2\nA\nB\n";
  for (int b = 0; b < blocks; ++b) {
    text += "step " + std::to_string(b) + "\n" + "  1.00000E+00  2.00000E+00\n";
  }
  return text;
}

TEST(shared_read, stops_when_the_calling_threads_check_says_so_while_the_threads_wait) {
  const testing::temp_file file(plot_of(64));
  plot_parts parts = open_plot_parts(file.path(), {.width = 13});
  take_plot_parts_whole(parts, nullptr);
  ASSERT_EQ(parts.index.blocks(), 64U);
  const posix::system_calls saved = posix::calls;
  posix::calls.pread = gated_pread;
  gate_open = false;
  stop_asks = 0;
  try {
    (void)read_plot_runs(parts, {{0, 64}},
                         {.stop = stop_and_open_gate, .threads = 4, .threads_as_given = true});
    posix::calls = saved;
    FAIL() << "the read did not stop";
  } catch (const read_failure& failure) {
    posix::calls = saved;
    EXPECT_EQ(failure.site().kind, failure_kind::cannot_read);
    EXPECT_EQ(failure.error().os_code(), EINTR);
  }
  EXPECT_EQ(stop_asks, 1);
}

} // namespace
} // namespace korvane
