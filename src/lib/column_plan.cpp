// src/lib/column_plan.cpp: where each parameter's values go
#include "column_plan.h"

#include <algorithm>

namespace korvane::reader {

column_plan::column_plan(std::uint32_t count, const positions& chosen) : targets_(count, not_read) {
  for (std::uint32_t k = 0; k < chosen.size(); ++k) {
    targets_[chosen[k]] = k;
  }
  judge_lines();
}

void column_plan::judge_lines() {
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

} // namespace korvane::reader
