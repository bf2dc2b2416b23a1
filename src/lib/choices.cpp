// src/lib/choices.cpp: the parameters a read chooses, by name or by position
#include "choices.h"

#include "text/number_text.h"

#include <algorithm>
#include <korvane/read_failure.h>

namespace korvane::reader {

namespace {

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

} // namespace

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

line_texts names_at(const line_texts& names, const positions& chosen) {
  line_texts picked;
  for (const std::uint32_t position : chosen) {
    picked.push_back(names[position]);
  }
  return picked;
}

} // namespace korvane::reader
