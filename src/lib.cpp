// src/lib.cpp: the plot file reader
#include "lib.h"

#include "line_source.h"
#include "posix.h"
#include "stdout_stream.h"
#include "text/count.h"
#include "text/float_parse.h"
#include "text/slice_message.h"
#include "text/tokens.h"
#include "text/trim.h"
#include "text/utf8.h"

#include <algorithm>
#include <fcntl.h>
#include <korvane/read_failure.h>
#include <optional>

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

  /// The site of the line due next, which is missing or could not be read.
  [[nodiscard]] read_site next_site() const noexcept { return {.line_number = count + 1}; }
  /// The site of the line read last.
  [[nodiscard]] read_site site_of(line current) const noexcept {
    return {.line_number = count, .line_length = current.size()};
  }
};

// Every I/O error met while reading a line is raised from here.
[[noreturn]] void raise_read_error(const io_error& error, const read_site& site) {
  raise_failure("Failed to read line!", error, site);
}

// The next line, or nothing at the end of the input.
std::optional<line> next_or_end(numbered_lines& lines) {
  next_line_result next = lines.source.next_line();
  if (next.what == next_line_result::outcome::error) {
    raise_read_error(next.error, lines.next_site());
  }
  if (next.what == next_line_result::outcome::end) {
    return std::nullopt;
  }
  ++lines.count;
  return next.text;
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

float field_value(const numbered_lines& lines, line data_line, std::uint32_t j,
                  std::uint32_t width) {
  const text::f32_result result =
      text::parse_f32(text::trim_field(cut_field(lines, data_line, j, width)));
  if (!result) {
    raise_failure("Could not parse line", text::describe(result.error),
                  field_site(lines, data_line, j, width));
  }
  return result.value;
}

// Reads the data lines of one block, whose header line has just been read.
void read_block(numbered_lines& lines, std::uint32_t width, columns& data) {
  const std::size_t count = data.size();
  for (std::size_t first = 0; first < count; first += fields_per_line) {
    const std::optional<line> data_line = next_or_end(lines);
    if (!data_line) {
      raise_failure("Error reading line", lines.next_site());
    }
    const std::size_t fields = std::min<std::size_t>(fields_per_line, count - first);
    for (std::uint32_t j = 0; j < fields; ++j) {
      data[first + j].push_back(field_value(lines, *data_line, j, width));
    }
  }
}

} // namespace

columns read_plot_file(std::string_view file_path, std::uint32_t n_digits) {
  const posix::file_descriptor file = open_plot_file(file_path);
  line_source source(file.get());
  numbered_lines lines{source};
  const std::optional<line> first = next_or_end(lines);
  if (!first) {
    raise_failure("Failed ot read line!");
  }
  const std::uint32_t count = parameter_count(*first);
  skip_parameter_names(lines, count);
  columns data(count);
  while (next_or_end(lines)) {
    read_block(lines, n_digits, data);
  }
  return data;
}

} // namespace korvane
