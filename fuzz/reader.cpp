// fuzz/reader.cpp: libFuzzer target running the whole reader on fuzzer-made plot files
//
// Input: byte 0 picks the field width, byte 1 how the file's bytes arrive, the rest is the file.
//   byte 0: 0..79 width 12, 80..159 width 15, 160..255 width (byte - 160) % 41, so 0 to 40;
//   byte 1: bits 0-6 the most bytes one read returns (0: as many as asked for), bit 7 set makes
//           the read after the last byte fail with EIO instead of returning the end of the file.
// The file is served through posix::calls, so lines split across reads at any byte. The reader
// must either raise read_failure or return one column per parameter, all as long as the number
// of blocks the file's lines make, each value the general conversion of its field.
#include "lib.h"
#include "posix.h"
#include "text/float_parse.h"
#include "text/trim.h"

#include <algorithm>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <korvane/read_failure.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// The path the target's open accepts, and the descriptor it hands out for it.
constexpr std::string_view fuzz_path = "fuzz-plot-file";
constexpr int fuzz_fd = 1000;

constexpr std::size_t parameters_per_line = 10;

// The file being read and how it is served.
struct served_file {
  std::string_view bytes;
  std::size_t position = 0;
  std::size_t most_per_read = 0;
  bool fail_at_end = false;
};

served_file file;

int open_fuzz_file(const char* path, int) {
  if (std::string_view(path) != fuzz_path) {
    errno = ENOENT;
    return -1;
  }
  return fuzz_fd;
}

ssize_t read_fuzz_file(int fd, void* buffer, std::size_t size) {
  if (fd != fuzz_fd) {
    errno = EBADF;
    return -1;
  }
  const std::size_t left = file.bytes.size() - file.position;
  if (left == 0 && file.fail_at_end) {
    errno = EIO;
    return -1;
  }
  std::size_t count = left < size ? left : size;
  if (file.most_per_read != 0 && count > file.most_per_read) {
    count = file.most_per_read;
  }
  if (count != 0) {
    std::memcpy(buffer, file.bytes.data() + file.position, count);
  }
  file.position += count;
  return static_cast<ssize_t>(count);
}

// A positional read serves the same bytes from offset, leaving the position alone.
ssize_t pread_fuzz_file(int fd, void* buffer, std::size_t size, off_t offset) {
  const std::size_t position = file.position;
  file.position = std::min(static_cast<std::size_t>(offset), file.bytes.size());
  const ssize_t count = read_fuzz_file(fd, buffer, size);
  file.position = position;
  return count;
}

// Reports on standard error and notices on standard output are dropped: the target looks for
// crashes and broken results, and libFuzzer's own output stays readable.
ssize_t write_nowhere(int fd, const void*, std::size_t size) {
  if (fd != STDOUT_FILENO && fd != STDERR_FILENO) {
    errno = EBADF;
    return -1;
  }
  return static_cast<ssize_t>(size);
}

int close_fuzz_file(int fd) {
  if (fd != fuzz_fd) {
    __builtin_trap();
  }
  return 0;
}

std::uint32_t width_from(std::uint8_t choice) noexcept {
  if (choice < 80) {
    return 12;
  }
  if (choice < 160) {
    return 15;
  }
  return static_cast<std::uint32_t>(choice - 160) % 41;
}

// The file's lines as the reader sees them: split after each line feed, the feed and a carriage
// return before it removed; a last line without a feed kept whole.
std::vector<std::string_view> lines_of(std::string_view bytes) {
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    const std::size_t feed = bytes.find('\n');
    if (feed == std::string_view::npos) {
      lines.push_back(bytes);
      break;
    }
    std::string_view line = bytes.substr(0, feed);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    bytes.remove_prefix(feed + 1);
  }
  return lines;
}

// Traps unless the columns are what the file's lines make: after the first line and one line per
// parameter, blocks of a header and ceil(n / 10) data lines, parameter i in field i % 10 of data
// line i / 10, each value the general conversion of its field.
void check_columns(const korvane::columns& data, std::string_view bytes, std::uint32_t width) {
  const std::vector<std::string_view> lines = lines_of(bytes);
  const std::size_t n = data.size();
  if (lines.empty() || lines.size() - 1 < n) {
    __builtin_trap();
  }
  const std::size_t block_lines = 1 + (n + parameters_per_line - 1) / parameters_per_line;
  const std::size_t after_names = lines.size() - 1 - n;
  if (after_names % block_lines != 0) {
    __builtin_trap();
  }
  const std::size_t blocks = after_names / block_lines;
  for (std::size_t i = 0; i < n; ++i) {
    if (data[i].size() != blocks) {
      __builtin_trap();
    }
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::string_view line = lines[1 + n + b * block_lines + 1 + i / parameters_per_line];
      const std::string_view field =
          line.substr(std::size_t{width} * (i % parameters_per_line), width);
      const korvane::text::f32_result expected =
          korvane::text::parse_f32(korvane::text::trim_field(field));
      if (field.size() != width || !expected ||
          std::bit_cast<std::uint32_t>(expected.value) !=
              std::bit_cast<std::uint32_t>(data[i][b])) {
        __builtin_trap();
      }
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Failures walk no backtrace; the style is read once, at the first failure.
  unsetenv("RUST_BACKTRACE");
  korvane::posix::calls = {open_fuzz_file, read_fuzz_file, pread_fuzz_file, write_nowhere,
                           close_fuzz_file};
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) {
    return -1;
  }
  const std::uint32_t width = width_from(data[0]);
  file = {std::string_view(reinterpret_cast<const char*>(data) + 2, size - 2), 0,
          std::size_t{data[1] & 0x7FU}, (data[1] & 0x80U) != 0};
  try {
    const korvane::columns columns = korvane::read_plot_file(fuzz_path, width);
    // A file read to its end without error: a failing read would have raised.
    if (file.fail_at_end || file.position != file.bytes.size()) {
      __builtin_trap();
    }
    check_columns(columns, file.bytes, width);
  } catch (const korvane::read_failure&) {
    // A failure, reported and raised as the reader does for every malformed file.
  }
  return 0;
}
