// src/lib/head.cpp: the head of a plot file: its first line and the parameter names
#include "head.h"

#include "first_line_tokens.h"
#include "stdout_stream.h"
#include "text/count.h"
#include "text/tokens.h"
#include "text/trim.h"

#include <korvane/read_failure.h>

namespace korvane::reader {

namespace {

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

} // namespace

std::optional<plot_head> read_head(numbered_lines& lines, bool input_grows, long_line_hold hold) {
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

} // namespace korvane::reader
