// tests/cpp/reader/line_source_test.cpp: line splitting, refills, and failing reads
#include "line_source.h"
#include "posix.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

// What one scripted read returns: bytes, or -1 with an errno.
struct scripted_read {
  std::string bytes;
  int error = 0;
};

std::deque<scripted_read> script;
std::vector<std::size_t> requested_sizes;

ssize_t scripted(int, void* buffer, std::size_t size) {
  requested_sizes.push_back(size);
  if (script.empty()) {
    return 0;
  }
  scripted_read next = script.front();
  script.pop_front();
  if (next.error != 0) {
    errno = next.error;
    return -1;
  }
  const std::size_t count = std::min(size, next.bytes.size());
  std::memcpy(buffer, next.bytes.data(), count);
  if (count < next.bytes.size()) {
    script.push_front({next.bytes.substr(count)});
  }
  return static_cast<ssize_t>(count);
}

// Runs a line source over the scripted reads and describes everything it yields.
class line_source_test : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = posix::calls;
    posix::calls.read = scripted;
    script.clear();
    requested_sizes.clear();
  }
  void TearDown() override { posix::calls = saved_; }

  static std::vector<std::string> drain(std::deque<scripted_read> reads) {
    script = std::move(reads);
    line_source source(-1);
    std::vector<std::string> seen;
    for (;;) {
      const next_line_result next = source.next_line();
      if (next.what == next_line_result::outcome::end) {
        return seen;
      }
      if (next.what == next_line_result::outcome::error) {
        seen.push_back(next.error.is_os() ? "os " + std::to_string(next.error.os_code())
                                          : std::string(next.error.fixed_message()));
        return seen;
      }
      seen.emplace_back(next.text);
    }
  }

private:
  posix::system_calls saved_{};
};

using lines = std::vector<std::string>;

TEST_F(line_source_test, splits_and_strips_terminators) {
  struct split_case {
    std::string bytes;
    lines expected;
  };
  const split_case cases[] = {
      {"", {}},
      {"\n", {""}},
      {"a\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\r\r\n", {"a\r"}},
      {"a\rb\n", {"a\rb"}},
      {"last\r", {"last\r"}},
      {"\n\n", {"", ""}},
  };
  for (const split_case& c : cases) {
    EXPECT_EQ(drain({{c.bytes}}), c.expected) << c.bytes;
  }
}

TEST_F(line_source_test, gathers_lines_across_reads) {
  EXPECT_EQ(drain({{"ab"}, {"c\r"}, {"\nde"}, {"f\ng"}}), (lines{"abc", "def", "g"}));
}

TEST_F(line_source_test, reads_at_most_one_buffer_at_a_time) {
  const std::string long_line(3 * line_source::buffer_size + 17, 'x');
  EXPECT_EQ(drain({{long_line + "\nshort\n"}}), (lines{long_line, "short"}));
  for (const std::size_t size : requested_sizes) {
    EXPECT_EQ(size, line_source::buffer_size);
  }
}

TEST_F(line_source_test, repeats_interrupted_reads) {
  EXPECT_EQ(drain({{"a", EINTR}, {"b\n"}, {"", EINTR}, {"c"}}), (lines{"b", "c"}));
}

TEST_F(line_source_test, reports_failed_reads) {
  EXPECT_EQ(drain({{"ok\npart"}, {"", EIO}}), (lines{"ok", "os 5"}));
  // The failed read wins over the invalid bytes gathered before it.
  EXPECT_EQ(drain({{"\xff"}, {"", EIO}}), (lines{"os 5"}));
}

TEST_F(line_source_test, rejects_invalid_utf8_lines) {
  const std::string invalid = "stream did not contain valid UTF-8";
  EXPECT_EQ(drain({{"fine\n\xc3\n"}}), (lines{"fine", invalid}));
  EXPECT_EQ(drain({{"\xe2\x82"}, {"\xac\n\xe2\x82"}}), (lines{"\xe2\x82\xac", invalid}));
}

TEST_F(line_source_test, marks_the_lines_known_to_be_ascii) {
  // Each line, across reads too, is marked by what it holds itself.
  script = {{"ab\ncd\n\xc3\xa9\nef\ng"}, {"h\n"}};
  line_source source(-1);
  std::vector<std::pair<std::string, bool>> seen;
  for (next_line_result next = source.next_line(); next.what == next_line_result::outcome::found;
       next = source.next_line()) {
    seen.emplace_back(next.text, next.ascii);
  }
  EXPECT_EQ(seen,
            (std::vector<std::pair<std::string, bool>>{
                {"ab", true}, {"cd", true}, {"\xc3\xa9", false}, {"ef", true}, {"gh", true}}));
}

TEST_F(line_source_test, peeks_only_at_a_buffered_line_of_the_length_asked) {
  script = {{"abc\nde\r\nf\rg\nhij"}, {"\n"}};
  line_source source(-1);
  // Nothing is buffered before the first read.
  EXPECT_EQ(source.peek_line(3).text, nullptr);
  ASSERT_EQ(std::string(source.next_line().text), "abc");
  EXPECT_EQ(source.peek_line(4).text, nullptr);
  EXPECT_EQ(source.peek_line(1).text, nullptr);
  const peeked_line crlf = source.peek_line(2);
  ASSERT_NE(crlf.text, nullptr);
  EXPECT_EQ(std::string(crlf.text, 2), "de");
  source.skip_line(crlf);
  // A carriage return inside the line is no terminator.
  EXPECT_EQ(source.peek_line(1).text, nullptr);
  const peeked_line lf = source.peek_line(3);
  ASSERT_NE(lf.text, nullptr);
  EXPECT_EQ(std::string(lf.text, 3), "f\rg");
  source.skip_line(lf);
  // "hij" has its line feed in the next read: it is not peeked at, but read as a line.
  EXPECT_EQ(source.peek_line(3).text, nullptr);
  EXPECT_EQ(std::string(source.next_line().text), "hij");
  EXPECT_EQ(source.next_line().what, next_line_result::outcome::end);
}

TEST_F(line_source_test, invalid_line_after_ascii_lines_of_its_buffer) {
  const std::string invalid = "stream did not contain valid UTF-8";
  EXPECT_EQ(drain({{"one\ntwo\n\xed\xa0\x80\nthree\n"}}), (lines{"one", "two", invalid}));
}

} // namespace
} // namespace korvane
