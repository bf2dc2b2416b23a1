// tests/cpp/reader/block_index_test.cpp: the index of block starts, and reads of runs of blocks
// against a read of the whole file
#include "lib.h"
#include "support/failure_message.h"
#include "support/temp_file.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <korvane/read_failure.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

// A random plot file and where each of its blocks starts.
struct random_plot {
  std::string text;
  std::vector<std::uint64_t> starts;
  std::uint32_t count = 0;
  std::uint32_t width = 0;
};

random_plot make_plot(std::mt19937& random, bool last_line_feed) {
  random_plot plot;
  plot.count = std::uniform_int_distribution<std::uint32_t>(1, 25)(random);
  plot.width = std::uniform_int_distribution<std::uint32_t>(9, 15)(random);
  const std::uint32_t blocks = std::uniform_int_distribution<std::uint32_t>(1, 40)(random);
  plot.text.append("title ").append(std::to_string(plot.count)).append("\n");
  for (std::uint32_t i = 0; i < plot.count; ++i) {
    plot.text.append("p").append(std::to_string(i)).append("\n");
  }
  std::uniform_real_distribution<double> value(-1e4, 1e4);
  for (std::uint32_t b = 0; b < blocks; ++b) {
    plot.starts.push_back(plot.text.size());
    // Header lines of any length, so that blocks differ in size.
    plot.text.append("step ").append(b % 7, 'x').append(std::to_string(b)).append("\n");
    for (std::uint32_t i = 0; i < plot.count; ++i) {
      char field[32];
      std::snprintf(field, sizeof field, "%*.*f", static_cast<int>(plot.width), 2, value(random));
      plot.text.append(field, plot.width);
      if (i % 10 == 9 || i + 1 == plot.count) {
        plot.text += "\n";
      }
    }
  }
  if (!last_line_feed) {
    plot.text.pop_back();
  }
  return plot;
}

// The runs' blocks of the whole file's columns, one after the other.
std::vector<std::vector<float>> sliced(const columns& data, const block_runs& runs) {
  std::vector<std::vector<float>> out(data.size());
  for (std::size_t c = 0; c < data.size(); ++c) {
    for (const block_run& run : runs) {
      out[c].insert(out[c].end(), data[c].begin() + run.first, data[c].begin() + run.last);
    }
  }
  return out;
}

std::vector<std::vector<float>> copied(const columns& data) {
  std::vector<std::vector<float>> out;
  for (const column& values : data) {
    out.emplace_back(values.begin(), values.end());
  }
  return out;
}

block_runs random_runs(std::mt19937& random, std::uint64_t blocks) {
  block_runs runs;
  const int count = std::uniform_int_distribution<int>(0, 4)(random);
  std::uniform_int_distribution<std::uint64_t> at(0, blocks);
  for (int i = 0; i < count; ++i) {
    std::uint64_t first = at(random);
    std::uint64_t last = at(random);
    runs.push_back({std::min(first, last), std::max(first, last)});
  }
  return runs;
}

bool same_bits(const std::vector<std::vector<float>>& a, const std::vector<std::vector<float>>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t c = 0; c < a.size(); ++c) {
    // An empty vector's data may be null, which memcmp must not be given.
    if (a[c].size() != b[c].size() ||
        (!a[c].empty() &&
         std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(float)) != 0)) {
      return false;
    }
  }
  return true;
}

TEST(block_index_test, agrees_with_a_full_read) {
  std::mt19937 random(24);
  const quiet_failures quiet;
  for (int round = 0; round < 200; ++round) {
    const bool last_line_feed = round % 3 != 0;
    const random_plot plot = make_plot(random, last_line_feed);
    const testing::temp_file file(plot.text);
    const plot_contents full = read_plot(file.path(), {.width = plot.width});
    plot_parts parts = open_plot_parts(file.path(), {.detect_width = true});
    ASSERT_EQ(parts.width, plot.width);
    // Without its last line feed the last block is not complete until the file is taken whole.
    ASSERT_EQ(parts.index.blocks() + (last_line_feed ? 0 : 1), full.blocks);
    take_plot_parts_whole(parts, nullptr);
    ASSERT_EQ(parts.index.blocks(), full.blocks);
    for (std::uint64_t b = 0; b < full.blocks; ++b) {
      ASSERT_EQ(parts.index.start(b), plot.starts[b]);
    }
    ASSERT_EQ(parts.index.complete_end(), plot.text.size());
    const block_runs runs = random_runs(random, full.blocks);
    const plot_contents part = read_plot_runs(parts, runs, {});
    ASSERT_TRUE(same_bits(copied(part.data), sliced(full.data, runs))) << "round " << round;
  }
}

TEST(block_index_test, extends_where_it_stopped) {
  std::mt19937 random(7);
  const random_plot plot = make_plot(random, true);
  const std::size_t cut = plot.starts[plot.starts.size() / 2] + 3;
  const testing::temp_file file(plot.text.substr(0, cut));
  plot_parts parts = open_plot_parts(file.path(), {.width = plot.width});
  EXPECT_EQ(parts.index.blocks(), plot.starts.size() / 2);
  std::FILE* out = std::fopen(file.path().c_str(), "ab");
  ASSERT_NE(out, nullptr);
  std::fwrite(plot.text.data() + cut, 1, plot.text.size() - cut, out);
  std::fclose(out);
  update_plot_parts(parts, nullptr);
  EXPECT_EQ(parts.index.blocks(), plot.starts.size());
  EXPECT_EQ(parts.index.complete_end(), plot.text.size());
}

void expect_same_failure(const std::optional<read_failure>& a,
                         const std::optional<read_failure>& b) {
  ASSERT_TRUE(a && b);
  EXPECT_EQ(std::string(a->message()), std::string(b->message()));
  EXPECT_EQ(a->site().line_number, b->site().line_number);
  EXPECT_EQ(a->site().line_length, b->site().line_length);
  EXPECT_EQ(a->site().first_data_line, b->site().first_data_line);
  EXPECT_EQ(a->site().has_field, b->site().has_field);
  EXPECT_EQ(a->site().field_index, b->site().field_index);
  EXPECT_EQ(a->site().block, b->site().block);
  EXPECT_EQ(a->site().kind, b->site().kind);
}

TEST(block_index_test, failure_in_a_run_names_the_full_reads_site) {
  std::mt19937 random(11);
  const quiet_failures quiet;
  for (int round = 0; round < 100; ++round) {
    random_plot plot = make_plot(random, true);
    const std::uint64_t blocks = plot.starts.size();
    const std::uint64_t bad = std::uniform_int_distribution<std::uint64_t>(0, blocks - 1)(random);
    // A field of the bad block's data lines turned into letters.
    const std::uint64_t data_start = plot.text.find('\n', plot.starts[bad]) + 1;
    const std::uint32_t field =
        std::uniform_int_distribution<std::uint32_t>(0, plot.count - 1)(random);
    const std::uint64_t at =
        data_start + (field / 10) * (10 * plot.width + 1) + (field % 10) * plot.width;
    for (std::uint64_t k = 0; k < 3; ++k) {
      plot.text[at + k] = static_cast<char>('a' + k);
    }
    if (round % 2 == 0) {
      // Or a block cut short at the end of the file.
      plot.text.resize(plot.starts.back() + 2);
      plot.text += "\n";
    }
    const testing::temp_file file(plot.text);
    const std::optional<read_failure> full =
        testing::raised_failure([&] { (void)read_plot(file.path(), {.width = plot.width}); });
    const std::optional<read_failure> part = testing::raised_failure([&] {
      plot_parts parts = open_plot_parts(file.path(), {.width = plot.width});
      take_plot_parts_whole(parts, nullptr);
      (void)read_plot_runs(parts, {{bad, parts.index.blocks()}}, {});
    });
    expect_same_failure(full, part);
  }
}

} // namespace
} // namespace korvane
