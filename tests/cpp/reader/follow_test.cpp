// tests/cpp/reader/follow_test.cpp: a growing file read piece by piece gives the whole file's read
#include "lib.h"
#include "support/failure_message.h"
#include "support/temp_file.h"

#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <korvane/read_failure.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

// A plot file of random values: fields of the simulation's layout mixed with other shapes, lines
// ended by "\n" or "\r\n".
std::string random_plot(std::mt19937& random, std::uint32_t count, int blocks, std::uint32_t width,
                        bool crlf) {
  const std::string end = crlf ? "\r\n" : "\n";
  std::string text = " random run " + std::to_string(count) + end;
  for (std::uint32_t i = 0; i < count; ++i) {
    text += " P" + std::to_string(i) + end;
  }
  std::uniform_real_distribution<double> value(-1e3, 1e3);
  for (int block = 0; block < blocks; ++block) {
    text += " TIME = " + std::to_string(block) + end;
    for (std::uint32_t first = 0; first < count; first += 10) {
      for (std::uint32_t j = first; j < count && j < first + 10; ++j) {
        char field[64];
        std::snprintf(field, sizeof field, "%*.*E", static_cast<int>(width),
                      static_cast<int>(width) - 7, value(random));
        text += field;
      }
      text += end;
    }
  }
  return text;
}

// The contents' values and block headers, one text per column and one for the headers.
std::vector<std::string> flattened(const plot_contents& contents) {
  std::vector<std::string> out;
  for (const column& values : contents.data) {
    out.emplace_back(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float));
  }
  std::string headers;
  for (const string& header : contents.block_headers) {
    headers.append(header).append("|");
  }
  out.push_back(headers);
  return out;
}

// Appends text to the file at path, written in pieces of random size; after each piece the
// growing file is read from where the last read ended. The reads' values, joined.
std::vector<std::string> followed_in_pieces(const std::string& path, const std::string& text,
                                            const plot_request& request, std::mt19937& random) {
  const int writer = ::open(path.c_str(), O_WRONLY | O_TRUNC);
  const int reader = ::open(path.c_str(), O_RDONLY);
  follow_state state;
  if (!request.detect_width) {
    state.width = request.width;
  }
  std::vector<std::string> joined;
  std::uniform_int_distribution<std::size_t> piece(1, 400);
  for (std::size_t written = 0; written < text.size();) {
    const std::size_t size = std::min(piece(random), text.size() - written);
    EXPECT_EQ(::write(writer, text.data() + written, size), static_cast<ssize_t>(size));
    written += size;
    const std::optional<plot_contents> contents = read_new_blocks(reader, state, request);
    if (!contents) {
      ADD_FAILURE() << "a file that only grew is taken for a rewritten one";
      break;
    }
    const std::vector<std::string> parts = flattened(*contents);
    joined.resize(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
      joined[i] += parts[i];
    }
  }
  ::close(writer);
  ::close(reader);
  return joined;
}

TEST(follow_test, pieces_join_into_the_whole_file) {
  std::mt19937 random(11);
  for (int round = 0; round < 40; ++round) {
    const auto count = std::uniform_int_distribution<std::uint32_t>(1, 25)(random);
    const std::uint32_t width = round % 3 == 0 ? 15 : round % 3 == 1 ? 12 : 14;
    const std::string text = random_plot(random, count, 30, width, round % 4 == 3);
    plot_request request{
        .width = width, .detect_width = round % 2 == 0, .keep_block_headers = true};
    if (round % 5 == 4) {
      request.choices.emplace();
      request.choices->push_back({.by_name = false, .position = -1, .name = {}});
      request.choices->push_back({.by_name = true, .position = 0, .name = "P0"});
    }
    SCOPED_TRACE("round " + std::to_string(round));
    const testing::temp_file file(text);
    const plot_contents whole = read_plot(file.path(), request);
    EXPECT_EQ(followed_in_pieces(file.path(), text, request, random), flattened(whole));
  }
}

TEST(follow_test, a_malformed_line_fails_where_the_whole_read_does) {
  std::mt19937 random(5);
  std::string text = random_plot(random, 12, 20, 12, false);
  text[text.rfind('E') - 3] = 'x';
  const testing::temp_file file(text);
  const plot_request request{.detect_width = true};
  const std::optional<read_failure> whole =
      testing::raised_failure([&] { (void)read_plot(file.path(), request); });
  const std::optional<read_failure> followed = testing::raised_failure(
      [&] { (void)followed_in_pieces(file.path(), text, request, random); });
  ASSERT_TRUE(whole && followed);
  EXPECT_EQ(followed->message(), whole->message());
  EXPECT_EQ(followed->site().line_number, whole->site().line_number);
  EXPECT_EQ(followed->site().field_index, whole->site().field_index);
  EXPECT_EQ(followed->site().kind, failure_kind::bad_field);
}

} // namespace
} // namespace korvane
