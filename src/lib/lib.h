// src/lib/lib.h: the plot file reader
#pragma once

#include "block_index.h"
#include "compression.h"
#include "follow_marks.h"
#include "line_source.h"
#include "posix.h"

#include <cstdint>
#include <korvane/checked_allocator.h>
#include <korvane/columns.h>
#include <korvane/string.h>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

namespace korvane {

/// A parameter chosen by its name, or by its position (from 0; a negative one counts from the
/// end, as Python's indices do).
struct column_choice {
  bool by_name = false;
  std::int64_t position = 0;
  string name;
};

/// The texts of a plot file's lines that a read keeps.
using line_texts = std::vector<string, checked_allocator<string>>;

/// What to read of a plot file.
struct plot_request {
  /// Bytes per data field, when known.
  std::uint32_t width = 0;
  /// Take the width from the first data line instead: its length divided by its fields.
  bool detect_width = false;
  /// The parameters to read, in this order; every parameter, in file order, when absent.
  std::optional<std::vector<column_choice, checked_allocator<column_choice>>> choices{};
  /// Keep every block's header line, trimmed.
  bool keep_block_headers = false;
  /// The most bytes one read of the file takes.
  std::size_t read_size = line_source::buffer_size;
  /// Asked, when given, whether to stop while the file is opened and read (line_source).
  posix::stop_check stop = nullptr;
  /// The threads that parse the file's blocks, each a share of them, at most; 0 for as many as
  /// the processors the calling thread may run on.
  std::uint32_t threads = 1;
  /// Whether to use that many threads whatever the read's size; otherwise a read gets one thread
  /// per bytes_per_thread of its blocks, since a small read gains less than threads cost.
  bool threads_as_given = true;
  /// Read a gzip or zstd file's decompressed bytes; otherwise its first line fails as not text.
  bool decompress = true;
};

/// The threads the request gives a read of `bytes` bytes of blocks: as many as given, or, when the
/// read is left to choose, one per bytes_per_thread of them, up to the processors the calling
/// thread may run on (threads 0) or the threads asked for; at least one.
[[nodiscard]] std::uint64_t threads_for_bytes(const plot_request& request,
                                              std::uint64_t bytes) noexcept;

/// The bytes of blocks a thread parses at least, when the threads are not given: below this,
/// starting a thread costs about what it saves (two threads read a file of 1 MiB 0.7 to 1.1 times
/// as fast as one from run to run, a file of 2 MiB 1.3 times: shared_read_bench.py --threshold).
inline constexpr std::uint64_t bytes_per_thread = std::uint64_t{1} << 20;

/// What a read gives: the chosen parameters' names and values and the file's layout.
struct plot_contents {
  /// The first line without its last token (the parameter count), trimmed.
  string title;
  /// The chosen parameters' name lines, trimmed, in the order of data.
  line_texts names;
  /// One column per chosen parameter.
  columns data;
  /// The header line of every block, trimmed, when the request keeps them.
  line_texts block_headers;
  /// The number of blocks.
  std::uint64_t blocks = 0;
};

/// Parameter positions, from 0.
using positions = std::vector<std::uint32_t, checked_allocator<std::uint32_t>>;

/// What a reader of a growing plot file keeps from one read to the next.
struct follow_state {
  /// Bytes of the file read: up to the end of the last complete block, or of the names.
  std::uint64_t offset = 0;
  /// Lines before offset.
  std::uint64_t lines = 0;
  /// Blocks before offset.
  std::uint64_t blocks = 0;
  /// The width of the data fields, once given or told by the first data line.
  std::optional<std::uint32_t> width;
  /// Whether the first line and the names have been read; then the members below hold.
  bool started = false;
  std::uint32_t parameters = 0;
  string title;
  /// The positions of the parameters read, and their names.
  positions chosen;
  line_texts names;
  /// Bytes read, to tell that the file still holds them.
  follow_marks marks;
};

/// A plot file held open for reading parts of it: its head, its width once known, and the index
/// of its complete blocks.
struct plot_parts {
  posix::file_descriptor file;
  /// The parameter count, the title and every parameter's name.
  std::uint32_t count = 0;
  string title;
  line_texts names;
  std::optional<std::uint32_t> width;
  block_index index;
  /// The file is read as a whole: its last line counts without a line feed, and a block it ends
  /// inside fails every read.
  bool whole = false;
  /// How the file is packed; the index's offsets are those of its decompressed bytes, indexed
  /// whole when it was opened.
  compression packing = compression::none;
};

/// Bytes of the file itself that the index of parts covers: the whole file when it is compressed.
[[nodiscard]] std::uint64_t file_bytes_indexed(const plot_parts& parts) noexcept;

/// The blocks [first, last), read in this order.
struct block_run {
  std::uint64_t first;
  std::uint64_t last;
};
using block_runs = std::vector<block_run, checked_allocator<block_run>>;

/// Opens the plot file at file_path, reads its head (failing as read_plot does) and indexes its
/// complete blocks. The width is the request's, or told by the first data line once it is
/// complete.
[[nodiscard]] plot_parts open_plot_parts(std::string_view file_path, const plot_request& request);
/// open_plot_parts for the plot file open as file, read from its start.
[[nodiscard]] plot_parts open_plot_parts(posix::file_descriptor file, const plot_request& request);

/// Indexes the blocks completed since the last index, and tells the width if still unknown.
void update_plot_parts(plot_parts& parts, posix::stop_check stop);

/// Takes the file as a whole from now on, as read_plot does (plot_parts::whole).
void take_plot_parts_whole(plot_parts& parts, posix::stop_check stop);

/// The number of blocks the runs hold.
[[nodiscard]] std::uint64_t blocks_in(const block_runs& runs) noexcept;

/// Where a read of runs writes each chosen parameter's values, in the order of the choice: for
/// each, storage for as many floats as the runs hold blocks.
using column_storage = std::span<float* const>;

/// The positions of the parameters the request chooses of the file's, failing as read_plot does.
[[nodiscard]] positions chosen_parameters(const plot_parts& parts, const plot_request& request);

/// Reads the runs of blocks, which the index holds, as read_plot reads them: the same values,
/// and the same failures, with the same lines and fields, whatever the threads of the request:
/// the blocks are split into shares, one per thread, and each thread writes its values straight
/// into their final places, first touching that memory. The failure raised is the first in the
/// runs' order. The values go to storage when given (the contents' columns are then empty), or to
/// columns allocated once at their final size. The request's width is not used.
[[nodiscard]] plot_contents read_plot_runs(const plot_parts& parts, const block_runs& runs,
                                           const plot_request& request,
                                           std::optional<column_storage> storage = std::nullopt);

/// The complete blocks of a whole file split into shares, one per thread, without an index of
/// every block: where each share starts, and where the complete blocks end.
struct block_shares {
  /// Each share's blocks, in order.
  block_runs runs;
  /// The offset of each share's first block.
  std::vector<std::uint64_t, checked_allocator<std::uint64_t>> starts;
  /// The number of complete blocks, where they end, and the complete lines after them.
  std::uint64_t blocks = 0;
  std::uint64_t complete_end = 0;
  std::uint64_t tail_lines = 0;
};

/// A whole plot file that threads share: its head and width (its index not extended), and its
/// blocks' shares.
struct shared_plot {
  plot_parts parts;
  block_shares shares;
};

/// The first step of a read of a whole file: the file's blocks counted and shared among the
/// request's threads, when they would share it; otherwise what read_plot reads.
using plot_start = std::variant<plot_contents, shared_plot>;

/// Reads the head of the whole plot file open as file, and counts its blocks into shares for
/// `threads` threads, one thread counting each part of the file (block_shares).
[[nodiscard]] shared_plot share_plot_file(posix::file_descriptor file, const plot_request& request,
                                          std::uint64_t threads);

/// Opens the plot file at file_path and reads it when one thread will (as read_plot), or reads
/// its head and counts its blocks into shares when the request's threads will share it: a
/// regular file, large enough to gain unless the threads are given.
[[nodiscard]] plot_start start_plot_read(std::string_view file_path, const plot_request& request);

/// Reads a shared plot file's blocks as read_plot_runs reads every block of an index: each share on
/// a thread of its own, the values to storage when given.
[[nodiscard]] plot_contents read_shared_plot(const shared_plot& shared, const plot_request& request,
                                             std::optional<column_storage> storage = std::nullopt);

/// Opens the plot file at file_path for reading; raises read_failure (cannot_open) when it cannot,
/// or when stop (when given) stops an open that a signal interrupted.
[[nodiscard]] posix::file_descriptor open_plot_file(std::string_view file_path,
                                                    posix::stop_check stop = nullptr);

/// Reads what the request asks of the plot file at file_path. Every problem raises
/// read_failure; the file is closed on every path. A file that the request's threads share
/// (start_plot_read) is indexed first and read by read_plot_runs, with the same result.
[[nodiscard]] plot_contents read_plot(std::string_view file_path, const plot_request& request);

/// Reads, from the regular file open as fd, the blocks completed after state.offset, and the first
/// line and the names on the first read that finds them complete: a last line without its line
/// feed, and a block without all its data lines, are left for a later read. The width is
/// state.width, or told by the first data line; the request's width is not used. Every problem
/// of a complete line raises read_failure as read_plot does. The reads are positional: the
/// file's read position, shared with forked processes, is not used. Nothing is returned when the
/// file no longer holds the bytes read before (it was truncated and written anew), as told by
/// their marks, before this read and after it.
[[nodiscard]] std::optional<plot_contents> read_new_blocks(int fd, follow_state& state,
                                                           const plot_request& request);

/// Reads the plot file at file_path, whose data fields are n_digits bytes wide, into one column
/// per parameter. Every problem raises read_failure; the file is closed on every path.
[[nodiscard]] columns read_plot_file(std::string_view file_path, std::uint32_t n_digits);

} // namespace korvane
