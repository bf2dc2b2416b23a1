// src/lib/read_plot.cpp: the reading of a whole plot file
#include "body.h"
#include "choices.h"
#include "column_plan.h"
#include "head.h"
#include "lib.h"
#include "line_source.h"
#include "long_line_hold.h"
#include "numbered_lines.h"
#include "plot_input.h"
#include "posix.h"

#include <korvane/read_failure.h>
#include <optional>

namespace korvane {

namespace {

// Reads what the request asks of the plot file open as fd, packed as told, holding its long
// lines as told; nothing when a use needed more of a line than was held.
std::optional<plot_contents> read_plot_held(int fd, compression packing,
                                            const plot_request& request,
                                            reader::long_line_hold hold) {
  reader::plot_input input(fd, packing, line_source::input::whole, request.read_size, request.stop,
                           std::nullopt);
  line_source& source = input.lines();
  reader::numbered_lines lines{source};
  if (hold == reader::long_line_hold::as_used) {
    lines.width_line_keep = reader::held_before_known;
  }
  const std::optional<reader::plot_head> held = reader::read_head(lines, false, hold);
  if (!held) {
    return std::nullopt;
  }
  const reader::plot_head& head = *held;
  // The first block's header line comes next, then its first data line.
  lines.first_data_line = lines.count + 2;
  lines.mark_complete();
  const positions chosen = reader::chosen_or_all(head, request);
  const reader::column_plan plan(head.count, chosen);
  plot_contents contents = reader::contents_before_blocks(head.title, head.names, chosen);
  std::optional<std::uint32_t> width;
  if (!request.detect_width) {
    width = request.width;
  }
  reader::read_body(lines, width, plan, {source.offset(), decompressed_size_guess(fd, packing)},
                    request.keep_block_headers, false, contents);
  if (lines.held_too_little) {
    return std::nullopt;
  }
  return contents;
}

// The threads that share the reading of the file open as fd: the request's, for a regular file
// (whose parts can be read apart), or as many as its size gains from when they are not given;
// one for anything else.
std::uint64_t sharing_threads(int fd, const plot_request& request) {
  const std::uint64_t size = posix::regular_file_size(fd);
  return size == 0 ? 1 : threads_for_bytes(request, size);
}

// Reads the plot file open as file, compressed as told, on the calling thread.
plot_contents read_plot_alone(posix::file_descriptor file, compression packing,
                              const plot_request& request) {
  // A regular file can be read again from its start, should the use of a long line turn out to
  // need it whole; a compressed one is decompressed again from its start.
  const bool again = quiet_failures::active() && posix::regular_file_size(file.get()) != 0;
  if (again) {
    if (std::optional<plot_contents> contents =
            read_plot_held(file.get(), packing, request, reader::long_line_hold::as_used)) {
      return std::move(*contents);
    }
    if (packing == compression::none && !posix::seek(file.get(), 0)) {
      raise_failure("Failed to read line!", io_error::from_os(errno),
                    {.line_number = 1, .kind = failure_kind::cannot_read});
    }
  }
  return *read_plot_held(file.get(), packing, request, reader::long_line_hold::whole);
}

} // namespace

plot_start start_plot_read(std::string_view file_path, const plot_request& request) {
  posix::file_descriptor file = open_plot_file(file_path, request.stop);
  const compression packing =
      request.decompress ? compression_of_file(file.get()) : compression::none;
  // A compressed file is one stream, decompressed from its start.
  const std::uint64_t threads =
      packing == compression::none ? sharing_threads(file.get(), request) : 1;
  if (threads < 2) {
    return read_plot_alone(std::move(file), packing, request);
  }
  return share_plot_file(std::move(file), request, threads);
}

plot_contents read_plot(std::string_view file_path, const plot_request& request) {
  plot_start started = start_plot_read(file_path, request);
  if (plot_contents* contents = std::get_if<plot_contents>(&started)) {
    return std::move(*contents);
  }
  return read_shared_plot(std::get<shared_plot>(started), request);
}

columns read_plot_file(std::string_view file_path, std::uint32_t n_digits) {
  return read_plot(file_path, {.width = n_digits, .decompress = false}).data;
}

} // namespace korvane
