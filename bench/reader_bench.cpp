// bench/reader_bench.cpp: whole plot files read by the reader and by a strtof baseline
#include "lib.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <korvane/read_failure.h>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

// The last whitespace-separated token of the first line.
std::size_t parameter_count(const std::string& first) {
  const std::size_t end = first.find_last_not_of(" \t\r\n");
  const std::size_t start = first.find_last_of(" \t", end);
  return std::strtoul(first.c_str() + (start == std::string::npos ? 0 : start + 1), nullptr, 10);
}

// The same walk over the file as the reader, with getline, a copied field and strtof.
std::vector<std::vector<float>> read_with_strtof(const char* path, std::size_t width) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    std::perror(path);
    std::exit(1);
  }
  char* line = nullptr;
  std::size_t capacity = 0;
  ssize_t length = getline(&line, &capacity, file);
  const std::string first(line, static_cast<std::size_t>(length));
  const std::size_t count = parameter_count(first);
  for (std::size_t i = 0; i < count; ++i) {
    (void)getline(&line, &capacity, file);
  }
  std::vector<std::vector<float>> data(count);
  std::vector<char> field(width + 1);
  while (getline(&line, &capacity, file) > 0) {
    for (std::size_t i = 0; i < count; ++i) {
      if (i % 10 == 0) {
        length = getline(&line, &capacity, file);
      }
      std::memcpy(field.data(), line + (i % 10) * width, width);
      field[width] = '\0';
      data[i].push_back(std::strtof(field.data(), nullptr));
    }
  }
  std::free(line);
  std::fclose(file);
  return data;
}

template <class Read>
double median_seconds(int repeats, Read read) {
  std::vector<double> seconds;
  for (int i = 0; i < repeats; ++i) {
    const auto start = clock_type::now();
    read();
    seconds.push_back(std::chrono::duration<double>(clock_type::now() - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PLOT_FILE WIDTH [REPEATS]\n", argv[0]);
    return 2;
  }
  const char* path = argv[1];
  const auto width = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
  const int repeats = argc > 3 ? std::atoi(argv[3]) : 5;

  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::perror(path);
    return 1;
  }
  std::fseek(file, 0, SEEK_END);
  const double megabytes = static_cast<double>(std::ftell(file)) / 1e6;
  std::fclose(file);

  std::size_t values = 0;
  bool same = true;
  try {
    const korvane::columns data = korvane::read_plot_file(path, width);
    const auto baseline = read_with_strtof(path, width);
    same = data.size() == baseline.size();
    for (std::size_t i = 0; same && i < data.size(); ++i) {
      values += data[i].size();
      same = std::equal(data[i].begin(), data[i].end(), baseline[i].begin(), baseline[i].end(),
                        [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; });
    }
  } catch (const korvane::read_failure& failure) {
    std::fprintf(stderr, "read failed: %s\n", failure.message().c_str());
    return 1;
  }

  const double reader =
      median_seconds(repeats, [&] { (void)korvane::read_plot_file(path, width); });
  const double baseline = median_seconds(repeats, [&] { (void)read_with_strtof(path, width); });
  std::printf("file: %s (%.1f MB, width %u, %zu values, median of %d runs)\n", path, megabytes,
              width, values, repeats);
  std::printf("reader:          %8.1f MB/s  %6.2f ns/value\n", megabytes / reader,
              reader * 1e9 / static_cast<double>(values));
  std::printf("strtof baseline: %8.1f MB/s  %6.2f ns/value\n", megabytes / baseline,
              baseline * 1e9 / static_cast<double>(values));
  std::printf("ratio:           %8.2fx\n", baseline / reader);
  std::printf("same values:     %s\n", same ? "yes" : "NO");
  return same ? 0 : 1;
}
