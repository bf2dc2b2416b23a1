// src/lib.cpp: the plot file reader
#include "lib.h"

#include "line_source.h"
#include "posix.h"
#include "stdout_stream.h"
#include "text/count.h"
#include "text/field_parse.h"
#include "text/number_text.h"
#include "text/simulation_line.h"
#include "text/slice_message.h"
#include "text/tokens.h"
#include "text/trim.h"
#include "text/utf8.h"
#include "text/whitespace.h"

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

// The most bytes of a line a field's failure message shows (text::slice_message), and of a
// UTF-8 character.
constexpr std::size_t shown_line_bytes = 256;
constexpr std::size_t longest_sequence = 4;

// The most bytes held of a line whose use may need it whole (the first line for its title, the
// first data line for the width it tells), before that use is known, when the input can be read
// again should the use need more.
constexpr std::size_t held_before_known = std::size_t{1} << 20;

} // namespace

posix::file_descriptor open_plot_file(std::string_view file_path, posix::stop_check stop) {
  constexpr const char* not_found = "Plot file not found!";
  if (file_path.find('\0') != std::string_view::npos) {
    raise_failure(
        not_found,
        io_error::fixed(error_kind::invalid_input, "file name contained an unexpected NUL byte"),
        {.kind = failure_kind::cannot_open});
  }
  const string path(file_path);
  const int fd = posix::retry_on_interrupt(
      [&] { return posix::calls.open(path.c_str(), O_RDONLY | O_CLOEXEC); }, stop);
  if (fd < 0) {
    raise_failure(not_found, io_error::from_os(errno), {.kind = failure_kind::cannot_open});
  }
  return posix::file_descriptor(fd);
}

namespace {

// How far a read got: the bytes of the input, its lines and its blocks.
struct read_progress {
  std::uint64_t offset = 0;
  std::uint64_t lines = 0;
  std::uint64_t blocks = 0;
};

// The line source with the number of the lines it has given, for failures that name a line.
struct numbered_lines {
  line_source& source;
  std::uint64_t count = 0;
  /// The number of the file's first data line, once the parameter names are read.
  std::uint64_t first_data_line = 0;
  /// The blocks whose header line has been read.
  std::uint64_t blocks = 0;
  /// Where the last complete part of the file ends: the names, or a block.
  read_progress complete{};
  /// The bytes held of a first data line that tells the width; a longer line, whose fields are
  /// then not all held, sets held_too_little.
  std::size_t width_line_keep = line_source::all;
  bool held_too_little = false;

  /// Marks everything read so far as complete.
  void mark_complete() noexcept { complete = {source.offset(), count, blocks}; }

  /// The site of the line due next, which is missing or could not be read.
  [[nodiscard]] read_site next_site(failure_kind kind) const noexcept {
    return {.line_number = count + 1, .block = blocks, .kind = kind};
  }
  /// The site of the line read last.
  [[nodiscard]] read_site site_of(const next_line_result& current) const noexcept {
    return {.line_number = count,
            .line_length = current.length(),
            .first_data_line = first_data_line != 0 && count == first_data_line,
            .block = blocks};
  }
};

// Every I/O error met while reading a line is raised from here. A first line that cannot be
// read from a file that starts as gzip output does is most likely compressed.
[[noreturn]] void raise_read_error(const numbered_lines& lines, const io_error& error) {
  constexpr std::string_view gzip_magic = "\x1f\x8b";
  const bool compressed = lines.count == 0 && lines.source.input_starts_with(gzip_magic);
  raise_failure("Failed to read line!", error,
                lines.next_site(compressed ? failure_kind::compressed : failure_kind::cannot_read));
}

// The next line, or nothing at the end of the input; of a long line, the first `keep` bytes
// are kept.
std::optional<next_line_result> next_or_end(numbered_lines& lines,
                                            std::size_t keep = line_source::all,
                                            line_observer* observer = nullptr) {
  next_line_result next = lines.source.next_line(keep, observer);
  if (next.what == next_line_result::outcome::error) {
    raise_read_error(lines, next.error);
  }
  if (next.what == next_line_result::outcome::end) {
    return std::nullopt;
  }
  ++lines.count;
  return next;
}

// Raises the failure of a first line that does not end with a parameter count.
[[noreturn]] void raise_bad_count(line first) {
  string message("The first line should end with the number of parameters:\n'");
  message += first;
  message += "'";
  raise_failure(message, {.line_number = 1, .kind = failure_kind::bad_parameter_count});
}

// The parameter count that ends the first line.
std::uint32_t parameter_count(const text::token_list& tokens, line first) {
  if (tokens.empty()) {
    return 0;
  }
  if (const std::optional<std::uint32_t> count = text::parse_count(tokens.back())) {
    return *count;
  }
  if (!quiet_failures::active()) {
    string notice("Error: '");
    notice += tokens.back();
    notice += "' is not a valid number of parameters!\n";
    print_line(notice);
  }
  raise_bad_count(first);
}

// The first line without its last token, trimmed.
string title_of(const text::token_list& tokens, line first) {
  const line before_count =
      tokens.empty()
          ? first
          : first.substr(0, static_cast<std::size_t>(tokens.back().data() - first.data()));
  return string(text::trim_field(before_count));
}

// Follows the tokens of a first line as it streams by, holding only what its use needs: the text
// before its last token, which is the title, and of the token under way (with the white space
// after it) no more than a bounded start, besides whether it is a parameter count. The title is
// lost when more than that bound of such text turns out not to be last.
class first_line_tokens final : public line_observer {
public:
  void take(std::string_view piece) override {
    for (std::size_t i = 0; i < piece.size(); ++i) {
      if (carried_ == 0 && in_token_ && !count_shaped_ && tail_dropped_) {
        // Nothing of this token is held or counted any more: only its end matters.
        i = plain_run_end(piece, i);
        if (i == piece.size()) {
          return;
        }
      }
      carry_[carried_++] = piece[i];
      const auto lead = static_cast<unsigned char>(carry_[0]);
      // A byte that leads no character (in a line that fails as not UTF-8) counts as one.
      const std::size_t length = std::max<std::size_t>(1, text::sequence_length(lead));
      if (carried_ == length) {
        take_character({carry_.data(), length});
        carried_ = 0;
      }
    }
  }

  /// The parameter count, 0 when the line holds no token; raises the failure of a line that does
  /// not end with one.
  [[nodiscard]] std::uint32_t count() const {
    if (!seen_token_) {
      return 0;
    }
    if (!count_shaped_ || !has_digit_ || count_ > UINT32_MAX) {
      raise_bad_count(held_);
    }
    return static_cast<std::uint32_t>(count_);
  }
  /// Whether the title was held whole.
  [[nodiscard]] bool title_held() const noexcept { return !title_lost_; }
  /// The line before its last token, trimmed.
  [[nodiscard]] string title() const {
    return string(text::trim_field(std::string_view(held_).substr(0, committed_)));
  }

private:
  // The end of the run of ASCII bytes other than white space from offset on.
  static std::size_t plain_run_end(std::string_view piece, std::size_t offset) noexcept {
    while (offset < piece.size() && static_cast<unsigned char>(piece[offset]) < 0x80 &&
           !text::is_ascii_white_space(static_cast<unsigned char>(piece[offset]))) {
      ++offset;
    }
    return offset;
  }

  void take_character(std::string_view character) {
    // A lone byte that leads no character is no white space.
    const bool lone = character.size() == 1 && static_cast<unsigned char>(character[0]) >= 0x80;
    const bool white = !lone && text::is_white_space(text::decode_at(character, 0).code_point);
    if (!white && !in_token_) {
      start_token();
    }
    in_token_ = !white;
    if (in_token_) {
      follow_count(character);
    }
    if (seen_token_) {
      hold(character);
    }
  }
  // The token under way ends what came before it, which then belongs to the title.
  void start_token() {
    title_lost_ = title_lost_ || tail_dropped_;
    committed_ = held_.size();
    tail_dropped_ = false;
    seen_token_ = true;
    count_shaped_ = true;
    has_digit_ = false;
    count_ = 0;
  }
  void follow_count(std::string_view character) noexcept {
    const char c = character[0];
    if (c == '+' && !has_digit_ && count_shaped_ && held_.size() == committed_) {
      return;
    }
    if (c < '0' || c > '9') {
      count_shaped_ = false;
      return;
    }
    has_digit_ = true;
    // Past UINT32_MAX the value stays too large, however many more digits come.
    count_ = std::min<std::uint64_t>(count_ * 10 + static_cast<std::uint64_t>(c - '0'),
                                     std::uint64_t{UINT32_MAX} + 1);
  }
  void hold(std::string_view character) {
    if (held_.size() - committed_ + character.size() > held_before_known) {
      tail_dropped_ = true;
      return;
    }
    held_.append(character);
  }

  std::array<char, 4> carry_{};
  std::size_t carried_ = 0;
  string held_;
  // Bytes of held_ before the token under way or last.
  std::size_t committed_ = 0;
  bool in_token_ = false;
  bool seen_token_ = false;
  bool tail_dropped_ = false;
  bool title_lost_ = false;
  bool count_shaped_ = true;
  bool has_digit_ = false;
  std::uint64_t count_ = 0;
};

// The first line and the parameter names.
struct plot_head {
  std::uint32_t count = 0;
  string title;
  line_texts names;
};

// How the lines whose use may need them whole are held: whole, or only as far as their use turns
// out to need, when failures are quiet (the message holds the whole first line otherwise) and
// the input can be read again.
enum class long_line_hold : bool { whole, as_used };

// Reads the first line and the name lines of its count parameters, trimmed; nothing when a
// growing input does not hold them all yet, or when the title was not held whole.
std::optional<plot_head> read_head(numbered_lines& lines, bool input_grows,
                                   long_line_hold hold = long_line_hold::whole) {
  first_line_tokens streamed;
  const bool bounded = hold == long_line_hold::as_used;
  const std::optional<next_line_result> first =
      next_or_end(lines, bounded ? 0 : line_source::all, bounded ? &streamed : nullptr);
  if (!first) {
    if (input_grows) {
      return std::nullopt;
    }
    raise_failure("Failed ot read line!", {.kind = failure_kind::empty_file});
  }
  plot_head head;
  if (first->passed_over == 0) {
    const text::token_list tokens = text::collect_tokens(first->text);
    head.count = parameter_count(tokens, first->text);
    head.title = title_of(tokens, first->text);
  } else {
    head.count = streamed.count();
    if (!streamed.title_held()) {
      return std::nullopt;
    }
    head.title = streamed.title();
  }
  for (std::uint32_t i = 0; i < head.count; ++i) {
    const std::optional<next_line_result> name = next_or_end(lines);
    if (!name) {
      if (input_grows) {
        return std::nullopt;
      }
      raise_failure("Failed to read line!", lines.next_site(failure_kind::missing_name));
    }
    head.names.emplace_back(text::trim_field(name->text));
  }
  return head;
}

// The site of field j of the data line read last.
read_site field_site(const numbered_lines& lines, const next_line_result& data_line,
                     std::uint32_t j, std::uint32_t width) noexcept {
  read_site site = lines.site_of(data_line);
  site.has_field = true;
  site.field_index = j;
  site.field_start = std::size_t{j} * width;
  site.field_end = site.field_start + width;
  site.kind = failure_kind::bad_field;
  return site;
}

// Field j of the data line read last: bytes [j * width, (j + 1) * width). A last line without
// its line feed that ends before the field is one a writer was cut off in: the input ends
// inside its block.
std::string_view cut_field(const numbered_lines& lines, const next_line_result& data_line,
                           std::uint32_t j, std::uint32_t width) {
  const line text = data_line.text;
  const std::size_t start = std::size_t{j} * width;
  const std::size_t end = start + width;
  if (end > text.size() || !text::is_char_boundary(text, start) ||
      !text::is_char_boundary(text, end)) {
    read_site site = field_site(lines, data_line, j, width);
    const bool cut_off = data_line.unterminated && end > data_line.length();
    site.kind = cut_off ? failure_kind::missing_data_line : failure_kind::field_outside_line;
    raise_failure(text::slice_message(text, start, end), site);
  }
  return text.substr(start, width);
}

// The bytes of a data line of `fields` fields that its reading looks at: the fields, the
// character the last one ends in, and the text a failure's message shows.
std::size_t data_line_keep(std::uint32_t fields, std::uint32_t width) noexcept {
  return std::max(std::size_t{fields} * width + longest_sequence, shown_line_bytes + 1);
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
  /// Forgets the block started last, whose values never go to the columns.
  void drop_block() noexcept { --blocks_; }
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
[[noreturn]] void raise_parse_failure(const numbered_lines& lines,
                                      const next_line_result& data_line, std::uint32_t j,
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

// Where each parameter's values go: the column of data for a chosen parameter, none for the
// others, whose fields are cut (so that a field outside its line fails as in a full read) but not
// converted.
class column_plan {
public:
  static constexpr std::uint32_t not_read = UINT32_MAX;
  /// How much of a data line is read.
  enum class line_use : std::uint8_t { none, some, all };

  /// The chosen parameters, each to the column of its place in the choice.
  column_plan(std::uint32_t count, const positions& chosen) : targets_(count, not_read) {
    for (std::uint32_t k = 0; k < chosen.size(); ++k) {
      targets_[chosen[k]] = k;
    }
    judge_lines();
  }

  /// The number of parameters in the file.
  [[nodiscard]] std::size_t parameters() const noexcept { return targets_.size(); }
  /// The column of parameter i, or not_read.
  [[nodiscard]] std::uint32_t target(std::size_t i) const noexcept { return targets_[i]; }
  /// How much of the data line starting at parameter first is read.
  [[nodiscard]] line_use use_of_line(std::size_t first) const noexcept {
    return uses_[first / fields_per_line];
  }

private:
  void judge_lines() {
    for (std::size_t first = 0; first < targets_.size(); first += fields_per_line) {
      const auto begin = targets_.begin() + static_cast<std::ptrdiff_t>(first);
      const auto end = begin + static_cast<std::ptrdiff_t>(
                                   std::min<std::size_t>(fields_per_line, targets_.size() - first));
      const auto unread = std::count(begin, end, not_read);
      uses_.push_back(unread == 0             ? line_use::all
                      : unread == end - begin ? line_use::none
                                              : line_use::some);
    }
  }

  std::vector<std::uint32_t, checked_allocator<std::uint32_t>> targets_;
  std::vector<line_use, checked_allocator<line_use>> uses_;
};

// Appends the values of the data line's first `fields` fields to the tile's columns of the
// parameters from `first` on.
template <std::uint32_t known_width>
void read_data_line(const numbered_lines& lines, const next_line_result& data_line,
                    std::uint32_t width, std::uint32_t fields, const column_plan& plan,
                    block_tile& tile, std::size_t first) {
  const line text = data_line.text;
  // Every offset of an ASCII line is a character boundary: when the line covers all its
  // fields, they are cut without a check each.
  const bool all_in_range = data_line.ascii && text.size() >= std::size_t{fields} * width;
  for (std::uint32_t j = 0; j < fields; ++j) {
    const std::string_view field =
        all_in_range ? std::string_view(text.data() + std::size_t{j} * width, width)
                     : cut_field(lines, data_line, j, width);
    const std::uint32_t target = plan.target(first + j);
    if (target == column_plan::not_read) {
      continue;
    }
    const text::f32_result result = field_of_width<known_width>(field.data(), width);
    if (!result) {
      raise_parse_failure(lines, data_line, j, width, result.error);
    }
    tile.put(target, result.value);
  }
}

static_assert(text::simulation_line_overread <= line_source::overread);

// Takes the next line when it is a full data line that the simulation line reader decides,
// sending its values to the tile's columns from `first` on. Such a line holds nothing but the
// layout's bytes up to its terminator, so it is ASCII and no failure can come from it.
bool take_simulation_line(numbered_lines& lines, text::simulation_line_reader read_line,
                          std::uint32_t width, const column_plan& plan, block_tile& tile,
                          std::size_t first) {
  const std::size_t length = std::size_t{fields_per_line} * width;
  const peeked_line peeked = lines.source.peek_line(length);
  std::array<float, fields_per_line> values;
  if (peeked.text == nullptr || !read_line(peeked.text, values.data())) {
    return false;
  }
  lines.source.skip_line(peeked);
  ++lines.count;
  for (std::uint32_t j = 0; j < fields_per_line; ++j) {
    tile.put(plan.target(first + j), values[j]);
  }
  return true;
}

// Takes the next line when it is a full data line of ASCII text whose terminator is in the read
// buffer, converting only the fields that are read: no field of such a line lies outside it, so
// the others cannot fail.
template <std::uint32_t known_width>
bool take_partly_read_line(numbered_lines& lines, std::uint32_t width, const column_plan& plan,
                           block_tile& tile, std::size_t first) {
  const std::size_t length = std::size_t{fields_per_line} * width;
  const peeked_line peeked = lines.source.peek_line(length);
  if (peeked.text == nullptr || text::ascii_prefix_length({peeked.text, length}) != length) {
    return false;
  }
  // The line stays in the buffer until the next line is asked for.
  lines.source.skip_line(peeked);
  ++lines.count;
  const next_line_result data_line{
      next_line_result::outcome::found, {peeked.text, length}, io_error::from_os(0), true};
  read_data_line<known_width>(lines, data_line, width, fields_per_line, plan, tile, first);
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

// The block header lines a read keeps when asked to.
struct block_log {
  bool keep_headers = false;
  line_texts headers{};
};

// Takes the next block's header line, or tells that the input has ended. A header not kept is
// not held either.
bool take_header(numbered_lines& lines, block_log& log) {
  const std::optional<next_line_result> header =
      next_or_end(lines, log.keep_headers ? line_source::all : 0);
  if (!header) {
    return false;
  }
  ++lines.blocks;
  if (log.keep_headers) {
    log.headers.emplace_back(text::trim_field(header->text));
  }
  return true;
}

// Drops the header line of the block taken last, whose data lines a growing input lacks yet.
void drop_header(numbered_lines& lines, block_log& log) {
  --lines.blocks;
  if (log.keep_headers) {
    log.headers.pop_back();
  }
}

// Reads the data lines of a block whose header line has been taken; false when the input ends
// before them, which fails unless the input grows.
template <std::uint32_t known_width>
bool read_block_data(numbered_lines& lines, text::simulation_line_reader read_line,
                     std::uint32_t width, const column_plan& plan, block_tile& tile,
                     bool input_grows) {
  const std::size_t count = plan.parameters();
  for (std::size_t first = 0; first < count; first += fields_per_line) {
    const column_plan::line_use use = plan.use_of_line(first);
    const bool full_line = count - first >= fields_per_line;
    if (use == column_plan::line_use::all && read_line != nullptr && full_line &&
        take_simulation_line(lines, read_line, width, plan, tile, first)) {
      continue;
    }
    if (use != column_plan::line_use::all && full_line &&
        take_partly_read_line<known_width>(lines, width, plan, tile, first)) {
      continue;
    }
    const auto fields =
        static_cast<std::uint32_t>(std::min<std::size_t>(fields_per_line, count - first));
    const std::optional<next_line_result> data_line =
        next_or_end(lines, data_line_keep(fields, width));
    if (!data_line) {
      if (input_grows) {
        return false;
      }
      raise_failure("Error reading line", lines.next_site(failure_kind::missing_data_line));
    }
    read_data_line<known_width>(lines, *data_line, width, fields, plan, tile, first);
  }
  return true;
}

// Where the blocks start and how large the file is, for the columns' room.
struct block_span {
  std::uint64_t first_block_start = 0;
  std::uint64_t file_size = 0;
};

// What the reading of the blocks goes by.
struct block_job {
  std::uint32_t width;
  const column_plan& plan;
  block_span span;
  /// The first block's header line has been taken already.
  bool header_taken;
  /// A block the input ends inside is left for a later read instead of failing.
  bool input_grows;
  block_log& log;
  columns& data;
};

// Reads block after block, each a header line and its data lines, up to the end of the input.
template <std::uint32_t known_width>
void read_blocks(numbered_lines& lines, const block_job& job) {
  const text::simulation_line_reader read_line = text::simulation_line_reader_for(known_width);
  block_tile tile(job.data);
  for (bool first_block = true; (first_block && job.header_taken) || take_header(lines, job.log);
       first_block = false) {
    tile.start_block();
    if (!read_block_data<known_width>(lines, read_line, job.width, job.plan, tile,
                                      job.input_grows)) {
      tile.drop_block();
      drop_header(lines, job.log);
      break;
    }
    lines.mark_complete();
    if (first_block) {
      expect_blocks(job.data, job.width, job.span.file_size, job.span.first_block_start,
                    lines.source.offset());
    }
  }
  tile.flush();
}

// The width of the first data line's fields: its length divided by the fields it holds. The
// line is given back, to be read as the first block's first data line. Nothing when a growing
// input does not hold the line yet.
std::optional<std::uint32_t> width_of_first_data_line(numbered_lines& lines, std::uint32_t count,
                                                      bool input_grows) {
  const std::uint64_t start = lines.source.offset();
  const std::optional<next_line_result> data_line = next_or_end(lines, lines.width_line_keep);
  if (!data_line) {
    if (input_grows) {
      return std::nullopt;
    }
    raise_failure("Error reading line", lines.next_site(failure_kind::missing_data_line));
  }
  const std::size_t fields = std::min<std::size_t>(fields_per_line, count);
  const std::size_t length = data_line->length();
  if (length == 0 || length % fields != 0 || length / fields > UINT32_MAX) {
    string message("cannot tell the field width: the first data line is ");
    text::append_number(message, length);
    message += " bytes long, not a whole number of fields for ";
    text::append_number(message, fields);
    message += " fields; give n_digits";
    read_site site = lines.site_of(*data_line);
    // A last line without its line feed is most likely cut off, the input ending inside it.
    site.kind =
        data_line->unterminated ? failure_kind::missing_data_line : failure_kind::undecided_width;
    raise_failure(message, site);
  }
  if (data_line->passed_over != 0) {
    // Every byte of the line is a field of the width it tells, and not every byte was held.
    lines.held_too_little = true;
    return std::nullopt;
  }
  lines.source.give_back(*data_line, lines.source.offset() - start);
  --lines.count;
  return static_cast<std::uint32_t>(length / fields);
}

// name in quotes, for messages.
string quoted(std::string_view name) {
  string text("'");
  text.append(name).append("'");
  return text;
}

// The position of the one parameter called name.
std::uint32_t position_named(const line_texts& names, std::string_view name) {
  const auto holds_name = [&](const string& candidate) { return candidate == name; };
  const auto found = std::find_if(names.begin(), names.end(), holds_name);
  if (found == names.end()) {
    raise_failure(string("no parameter named ") + quoted(name),
                  {.kind = failure_kind::unknown_name});
  }
  const auto again = std::find_if(found + 1, names.end(), holds_name);
  const auto position = static_cast<std::uint32_t>(found - names.begin());
  if (again != names.end()) {
    string message("parameter name ");
    message.append(quoted(name)).append(" is not unique: positions ");
    text::append_number(message, position);
    message.append(" and ");
    text::append_number(message, again - names.begin());
    message.append(" hold it; choose by position");
    raise_failure(message, {.kind = failure_kind::unknown_name});
  }
  return position;
}

// The position a choice stands for: a negative position counts from the end.
std::uint32_t position_of(const line_texts& names, const column_choice& choice) {
  if (choice.by_name) {
    return position_named(names, choice.name);
  }
  const auto count = static_cast<std::int64_t>(names.size());
  const std::int64_t position = choice.position < 0 ? choice.position + count : choice.position;
  if (position < 0 || position >= count) {
    string message("parameter position ");
    text::append_number(message, choice.position);
    message.append(" is out of range: the file has ");
    text::append_number(message, count);
    message.append(" parameters");
    raise_failure(message, {.kind = failure_kind::position_out_of_range});
  }
  return static_cast<std::uint32_t>(position);
}

// The position of each chosen parameter, in the order chosen; each may be chosen once.
positions
chosen_positions(const line_texts& names,
                 const std::vector<column_choice, checked_allocator<column_choice>>& choices) {
  positions chosen_ones;
  std::vector<bool, checked_allocator<bool>> chosen(names.size());
  for (const column_choice& choice : choices) {
    const std::uint32_t position = position_of(names, choice);
    if (chosen[position]) {
      string message("parameter ");
      message.append(quoted(names[position])).append(" (position ");
      text::append_number(message, position);
      message.append(") is chosen twice");
      raise_failure(message, {.kind = failure_kind::repeated_choice});
    }
    chosen[position] = true;
    chosen_ones.push_back(position);
  }
  return chosen_ones;
}

// Reads the blocks with the width known when compiling where it is one the simulation writes.
void dispatch_blocks(numbered_lines& lines, const block_job& job) {
  switch (job.width) {
  case 12:
    read_blocks<12>(lines, job);
    break;
  case 15:
    read_blocks<15>(lines, job);
    break;
  default:
    read_blocks<0>(lines, job);
  }
}

// The positions of the parameters the request chooses, or of all of them.
positions chosen_or_all(const plot_head& head, const plot_request& request) {
  if (request.choices) {
    return chosen_positions(head.names, *request.choices);
  }
  positions all(head.count);
  for (std::uint32_t i = 0; i < head.count; ++i) {
    all[i] = i;
  }
  return all;
}

// The names at the positions.
line_texts names_at(const line_texts& names, const positions& chosen) {
  line_texts picked;
  for (const std::uint32_t position : chosen) {
    picked.push_back(names[position]);
  }
  return picked;
}

// Reads the blocks that follow the names (or the last complete block) into contents by the
// plan, with the width given or, when there is none, told by the first data line, which then
// sets it.
void read_body(numbered_lines& lines, std::optional<std::uint32_t>& width, const column_plan& plan,
               block_span span, bool keep_block_headers, bool input_grows,
               plot_contents& contents) {
  block_log log{.keep_headers = keep_block_headers};
  const std::uint64_t blocks_before = lines.blocks;
  bool header_taken = false;
  if (!width && plan.parameters() == 0) {
    // Without data lines any width reads the file.
    width = 1;
  }
  if (!width && take_header(lines, log)) {
    header_taken = true;
    width =
        width_of_first_data_line(lines, static_cast<std::uint32_t>(plan.parameters()), input_grows);
    if (!width) {
      drop_header(lines, log);
    }
  }
  if (width) {
    dispatch_blocks(lines, {*width, plan, span, header_taken, input_grows, log, contents.data});
  }
  contents.blocks = lines.complete.blocks - blocks_before;
  contents.block_headers = std::move(log.headers);
}

} // namespace

namespace {

// Reads what the request asks of the plot file open as fd, holding its long lines as told;
// nothing when a use needed more of a line than was held.
std::optional<plot_contents> read_plot_held(int fd, const plot_request& request,
                                            long_line_hold hold) {
  line_source source(fd, line_source::input::whole, request.read_size, request.stop);
  numbered_lines lines{source};
  if (hold == long_line_hold::as_used) {
    lines.width_line_keep = held_before_known;
  }
  const std::optional<plot_head> held = read_head(lines, false, hold);
  if (!held) {
    return std::nullopt;
  }
  const plot_head& head = *held;
  // The first block's header line comes next, then its first data line.
  lines.first_data_line = lines.count + 2;
  lines.mark_complete();
  const positions chosen = chosen_or_all(head, request);
  const column_plan plan(head.count, chosen);
  plot_contents contents;
  contents.title = head.title;
  contents.names = names_at(head.names, chosen);
  contents.data = columns(chosen.size());
  std::optional<std::uint32_t> width;
  if (!request.detect_width) {
    width = request.width;
  }
  read_body(lines, width, plan, {source.offset(), posix::regular_file_size(fd)},
            request.keep_block_headers, false, contents);
  if (lines.held_too_little) {
    return std::nullopt;
  }
  return contents;
}

} // namespace

plot_contents read_plot(std::string_view file_path, const plot_request& request) {
  const posix::file_descriptor file = open_plot_file(file_path, request.stop);
  // A regular file can be read again from its start, should the use of a long line turn out to
  // need it whole.
  const bool again = quiet_failures::active() && posix::regular_file_size(file.get()) != 0;
  if (again) {
    if (std::optional<plot_contents> contents =
            read_plot_held(file.get(), request, long_line_hold::as_used)) {
      return std::move(*contents);
    }
    if (!posix::seek(file.get(), 0)) {
      raise_failure("Failed to read line!", io_error::from_os(errno),
                    {.line_number = 1, .kind = failure_kind::cannot_read});
    }
  }
  return *read_plot_held(file.get(), request, long_line_hold::whole);
}

std::optional<plot_contents> read_new_blocks(int fd, follow_state& state,
                                             const plot_request& request) {
  if (!marks_hold(fd, state.marks)) {
    return std::nullopt;
  }
  const std::uint64_t start = state.offset;
  line_source source(fd, line_source::input::growing, request.read_size, request.stop, start);
  numbered_lines lines{.source = source, .count = state.lines, .blocks = state.blocks};
  // Nothing read yet: the last complete part ends where this read starts.
  lines.mark_complete();
  plot_contents contents;
  if (!state.started) {
    const std::optional<plot_head> head = read_head(lines, true);
    if (!head) {
      return contents;
    }
    state.parameters = head->count;
    state.title = head->title;
    state.chosen = chosen_or_all(*head, request);
    state.names = names_at(head->names, state.chosen);
    state.started = true;
    lines.mark_complete();
  }
  lines.first_data_line = std::uint64_t{state.parameters} + 3;
  const column_plan plan(state.parameters, state.chosen);
  contents.title = state.title;
  contents.names = state.names;
  contents.data = columns(state.chosen.size());
  const std::optional<posix::file_facts> facts = posix::facts_of(fd);
  const std::uint64_t size = facts ? facts->size : 0;
  read_body(lines, state.width, plan, {source.offset(), size > start ? size - start : 0},
            request.keep_block_headers, true, contents);
  state.offset = start + lines.complete.offset;
  state.lines = lines.complete.lines;
  state.blocks = lines.complete.blocks;
  if (state.offset == start) {
    return contents;
  }
  // The new marks are taken before the old ones are compared again: a file rewritten while
  // this read ran fails one of the two.
  std::optional<follow_marks> marks = marks_of(fd, state.offset);
  if (!marks || !marks_hold(fd, state.marks)) {
    return std::nullopt;
  }
  state.marks = std::move(*marks);
  return contents;
}

columns read_plot_file(std::string_view file_path, std::uint32_t n_digits) {
  return read_plot(file_path, {.width = n_digits}).data;
}

} // namespace korvane
