// src/lib.cpp: the plot file reader
#include "lib.h"

#include "line_source.h"
#include "posix.h"
#include "stdout_stream.h"
#include "text/count.h"
#include "text/field_parse.h"
#include "text/simulation_line.h"
#include "text/slice_message.h"
#include "text/tokens.h"
#include "text/utf8.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <korvane/read_failure.h>
#include <optional>
#include <vector>

namespace korvane {

namespace {

// Data fields on one data line; parameter i sits in field i % 10 of data line i / 10.
constexpr std::uint32_t fields_per_line = 10;

posix::file_descriptor open_plot_file(std::string_view file_path) {
  constexpr const char* not_found = "Plot file not found!";
  if (file_path.find('\0') != std::string_view::npos) {
    raise_failure(not_found, io_error::fixed(error_kind::invalid_input,
                                             "file name contained an unexpected NUL byte"));
  }
  const string path(file_path);
  const int fd = posix::retry_on_interrupt(
      [&] { return posix::calls.open(path.c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0) {
    raise_failure(not_found, io_error::from_os(errno));
  }
  return posix::file_descriptor(fd);
}

// The line source with the number of the lines it has given, for failures that name a line.
struct numbered_lines {
  line_source& source;
  std::uint64_t count = 0;
  /// The number of the file's first data line, once the parameter names are read.
  std::uint64_t first_data_line = 0;

  /// The site of the line due next, which is missing or could not be read.
  [[nodiscard]] read_site next_site() const noexcept { return {.line_number = count + 1}; }
  /// The site of the line read last.
  [[nodiscard]] read_site site_of(line current) const noexcept {
    return {.line_number = count,
            .line_length = current.size(),
            .first_data_line = first_data_line != 0 && count == first_data_line};
  }
};

// Every I/O error met while reading a line is raised from here.
[[noreturn]] void raise_read_error(const io_error& error, const read_site& site) {
  raise_failure("Failed to read line!", error, site);
}

// The next line, or nothing at the end of the input.
std::optional<next_line_result> next_or_end(numbered_lines& lines) {
  next_line_result next = lines.source.next_line();
  if (next.what == next_line_result::outcome::error) {
    raise_read_error(next.error, lines.next_site());
  }
  if (next.what == next_line_result::outcome::end) {
    return std::nullopt;
  }
  ++lines.count;
  return next;
}

std::uint32_t parameter_count(line first) {
  const text::token_list tokens = text::collect_tokens(first);
  if (tokens.empty()) {
    return 0;
  }
  if (const std::optional<std::uint32_t> count = text::parse_count(tokens.back())) {
    return *count;
  }
  string notice("Error: '");
  notice += tokens.back();
  notice += "' is not a valid number of parameters!\n";
  print_line(notice);
  string message("The first line should end with the number of parameters:\n'");
  message += first;
  message += "'";
  raise_failure(message);
}

void skip_parameter_names(numbered_lines& lines, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!next_or_end(lines)) {
      raise_failure("Failed to read line!");
    }
  }
}

// The site of field j of the data line read last.
read_site field_site(const numbered_lines& lines, line data_line, std::uint32_t j,
                     std::uint32_t width) noexcept {
  read_site site = lines.site_of(data_line);
  site.has_field = true;
  site.field_index = j;
  site.field_start = std::size_t{j} * width;
  site.field_end = site.field_start + width;
  return site;
}

// Field j of the data line read last: bytes [j * width, (j + 1) * width).
std::string_view cut_field(const numbered_lines& lines, line data_line, std::uint32_t j,
                           std::uint32_t width) {
  const std::size_t start = std::size_t{j} * width;
  const std::size_t end = start + width;
  if (end > data_line.size() || !text::is_char_boundary(data_line, start) ||
      !text::is_char_boundary(data_line, end)) {
    raise_failure(text::slice_message(data_line, start, end),
                  field_site(lines, data_line, j, width));
  }
  return data_line.substr(start, width);
}

// The values of up to 16 blocks, held column by column until they go to the columns together:
// every block touches every column, and a column's storage is touched once per 16 blocks instead
// of once per block, which keeps the memory the reader writes to within few pages at a time.
class block_tile {
public:
  explicit block_tile(columns& data) noexcept : data_(data) {}

  /// Makes room for the next block's values, sending the full tile to the columns first. The
  /// tile's memory is taken with the first block: a file of parameter names only needs none.
  void start_block() {
    if (blocks_ == blocks_per_tile) {
      flush();
    }
    if (values_.empty()) {
      values_.resize(data_.size() * blocks_per_tile);
    }
    ++blocks_;
  }
  /// Sets column i's value in the current block.
  void put(std::size_t i, float value) noexcept {
    values_[i * blocks_per_tile + blocks_ - 1] = value;
  }
  /// Appends the tile's blocks to the columns.
  void flush() {
    if (blocks_ == 0) {
      return;
    }
    if (blocks_ == blocks_per_tile) {
      for (std::size_t i = 0; i < data_.size(); ++i) {
        data_[i].append<blocks_per_tile>(&values_[i * blocks_per_tile]);
      }
    } else {
      for (std::size_t i = 0; i < data_.size(); ++i) {
        data_[i].append(&values_[i * blocks_per_tile], blocks_);
      }
    }
    blocks_ = 0;
  }

private:
  static constexpr std::size_t blocks_per_tile = 16;

  columns& data_;
  std::vector<float, checked_allocator<float>> values_;
  std::size_t blocks_ = 0;
};

// Raises the failure of field j, whose conversion failed.
[[noreturn]] void raise_parse_failure(const numbered_lines& lines, line data_line, std::uint32_t j,
                                      std::uint32_t width, text::float_error error) {
  raise_failure("Could not parse line", text::describe(error),
                field_site(lines, data_line, j, width));
}

// The widths the simulation code writes get a copy of the loop that knows its width; 0 stands
// for any other width, known only when reading.
template <std::uint32_t known_width>
text::f32_result field_of_width(const char* field, std::uint32_t width) noexcept {
  if constexpr (known_width == 0) {
    return text::parse_field({field, width});
  } else {
    return text::parse_field_of_width<known_width>(field);
  }
}

// Appends the values of the data line's first `fields` fields to the tile's columns from
// `first` on.
template <std::uint32_t known_width>
void read_data_line(const numbered_lines& lines, const next_line_result& data_line,
                    std::uint32_t width, std::uint32_t fields, block_tile& tile,
                    std::size_t first) {
  const line text = data_line.text;
  // Every offset of an ASCII line is a character boundary: when the line covers all its
  // fields, they are cut without a check each.
  const bool all_in_range = data_line.ascii && text.size() >= std::size_t{fields} * width;
  for (std::uint32_t j = 0; j < fields; ++j) {
    const std::string_view field =
        all_in_range ? std::string_view(text.data() + std::size_t{j} * width, width)
                     : cut_field(lines, text, j, width);
    const text::f32_result result = field_of_width<known_width>(field.data(), width);
    if (!result) {
      raise_parse_failure(lines, text, j, width, result.error);
    }
    tile.put(first + j, result.value);
  }
}

static_assert(text::simulation_line_overread <= line_source::overread);

// Takes the next line when it is a full data line that the simulation line reader decides,
// sending its values to the tile's columns from `first` on. Such a line holds nothing but the
// layout's bytes up to its terminator, so it is ASCII and no failure can come from it.
bool take_simulation_line(numbered_lines& lines, text::simulation_line_reader read_line,
                          std::uint32_t width, block_tile& tile, std::size_t first) {
  const std::size_t length = std::size_t{fields_per_line} * width;
  const peeked_line peeked = lines.source.peek_line(length);
  std::array<float, fields_per_line> values;
  if (peeked.text == nullptr || !read_line(peeked.text, values.data())) {
    return false;
  }
  lines.source.skip_line(peeked);
  ++lines.count;
  for (std::uint32_t j = 0; j < fields_per_line; ++j) {
    tile.put(first + j, values[j]);
  }
  return true;
}

// Makes room in every column for as many blocks as a file of file_size bytes holds, judged by
// the bytes [start, end) of its first block, so that the columns are allocated once rather than
// grown by doubling and copying. A file whose size is unknown (0) gets no room in advance.
//
// The first block may be no guide to the rest (a long header line further on, say), so the room
// is capped twice: the rest of the file holds at most rest / (columns * width) blocks, and the
// room taken in all never exceeds the rest of the file in bytes, so that a narrow width cannot
// make it reserve several times the file. Past the cap the columns grow as they fill.
void expect_blocks(columns& data, std::uint32_t width, std::uint64_t file_size, std::uint64_t start,
                   std::uint64_t end) noexcept {
  if (file_size <= end || end <= start || data.empty()) {
    return;
  }
  const std::uint64_t rest = file_size - end;
  const std::uint64_t blocks = 1 + rest / (end - start);
  // A little more, for blocks a few bytes shorter than the first.
  const std::uint64_t estimate = blocks + blocks / 64 + 16;
  const std::uint64_t bytes_per_block = data.size() * std::max<std::uint64_t>(width, sizeof(float));
  const std::uint64_t room = std::min(estimate, 1 + rest / bytes_per_block);
  for (column& values : data) {
    values.expect(static_cast<std::size_t>(room));
  }
}

// Reads block after block, each a header line and its data lines, up to the end of the input.
template <std::uint32_t known_width>
void read_blocks(numbered_lines& lines, std::uint32_t width, std::uint64_t file_size,
                 columns& data) {
  const std::size_t count = data.size();
  const text::simulation_line_reader read_line = text::simulation_line_reader_for(known_width);
  block_tile tile(data);
  const std::uint64_t first_block_start = lines.source.offset();
  for (bool first_block = true; next_or_end(lines); first_block = false) {
    tile.start_block();
    for (std::size_t first = 0; first < count; first += fields_per_line) {
      if (read_line != nullptr && count - first >= fields_per_line &&
          take_simulation_line(lines, read_line, width, tile, first)) {
        continue;
      }
      const std::optional<next_line_result> data_line = next_or_end(lines);
      if (!data_line) {
        raise_failure("Error reading line", lines.next_site());
      }
      const auto fields =
          static_cast<std::uint32_t>(std::min<std::size_t>(fields_per_line, count - first));
      read_data_line<known_width>(lines, *data_line, width, fields, tile, first);
    }
    if (first_block) {
      expect_blocks(data, width, file_size, first_block_start, lines.source.offset());
    }
  }
  tile.flush();
}

} // namespace

columns read_plot_file(std::string_view file_path, std::uint32_t n_digits) {
  const posix::file_descriptor file = open_plot_file(file_path);
  line_source source(file.get());
  numbered_lines lines{source};
  const std::optional<next_line_result> first = next_or_end(lines);
  if (!first) {
    raise_failure("Failed ot read line!");
  }
  const std::uint32_t count = parameter_count(first->text);
  skip_parameter_names(lines, count);
  // The first block's header line comes next, then its first data line.
  lines.first_data_line = lines.count + 2;
  columns data(count);
  const std::uint64_t file_size = posix::regular_file_size(file.get());
  switch (n_digits) {
  case 12:
    read_blocks<12>(lines, n_digits, file_size, data);
    break;
  case 15:
    read_blocks<15>(lines, n_digits, file_size, data);
    break;
  default:
    read_blocks<0>(lines, n_digits, file_size, data);
  }
  return data;
}

} // namespace korvane
