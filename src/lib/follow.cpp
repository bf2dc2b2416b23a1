// src/lib/follow.cpp: the reading of a growing plot file, a few complete blocks at a time
#include "body.h"
#include "choices.h"
#include "column_plan.h"
#include "follow_marks.h"
#include "head.h"
#include "lib.h"
#include "line_source.h"
#include "numbered_lines.h"
#include "posix.h"

#include <optional>

namespace korvane {

std::optional<plot_contents> read_new_blocks(int fd, follow_state& state,
                                             const plot_request& request) {
  if (!marks_hold(fd, state.marks)) {
    return std::nullopt;
  }
  const std::uint64_t start = state.offset;
  line_source source(fd, line_source::input::growing, request.read_size, request.stop, start);
  reader::numbered_lines lines{.source = source, .count = state.lines, .blocks = state.blocks};
  // Nothing read yet: the last complete part ends where this read starts.
  lines.mark_complete();
  plot_contents contents;
  if (!state.started) {
    const std::optional<reader::plot_head> head = reader::read_head(lines, true);
    if (!head) {
      return contents;
    }
    state.parameters = head->count;
    state.title = head->title;
    state.chosen = reader::chosen_or_all(*head, request);
    state.names = reader::names_at(head->names, state.chosen);
    state.started = true;
    lines.mark_complete();
  }
  lines.first_data_line = std::uint64_t{state.parameters} + 3;
  const reader::column_plan plan(state.parameters, state.chosen);
  contents.title = state.title;
  contents.names = state.names;
  contents.data = columns(state.chosen.size());
  const std::optional<posix::file_facts> facts = posix::facts_of(fd);
  const std::uint64_t size = facts ? facts->size : 0;
  reader::read_body(lines, state.width, plan, {source.offset(), size > start ? size - start : 0},
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

} // namespace korvane
