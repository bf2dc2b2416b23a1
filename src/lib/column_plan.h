// src/lib/column_plan.h: where each parameter's values go
#pragma once

#include "lib.h"

#include <cstddef>
#include <cstdint>
#include <korvane/checked_allocator.h>
#include <vector>

namespace korvane::reader {

/// Data fields on one data line; parameter i sits in field i % 10 of data line i / 10.
inline constexpr std::uint32_t fields_per_line = 10;

/// Where each parameter's values go: the column of data for a chosen parameter, none for the
/// others, whose fields are cut (so that a field outside its line fails as in a full read) but not
/// converted.
class column_plan {
public:
  static constexpr std::uint32_t not_read = UINT32_MAX;
  /// How much of a data line is read.
  enum class line_use : std::uint8_t { none, some, all };

  /// The chosen parameters, each to the column of its place in the choice.
  column_plan(std::uint32_t count, const positions& chosen);

  /// The number of parameters in the file.
  [[nodiscard]] std::size_t parameters() const noexcept { return targets_.size(); }
  /// The column of parameter i, or not_read.
  [[nodiscard]] std::uint32_t target(std::size_t i) const noexcept { return targets_[i]; }
  /// How much of the data line starting at parameter first is read.
  [[nodiscard]] line_use use_of_line(std::size_t first) const noexcept {
    return uses_[first / fields_per_line];
  }

private:
  void judge_lines();

  std::vector<std::uint32_t, checked_allocator<std::uint32_t>> targets_;
  std::vector<line_use, checked_allocator<line_use>> uses_;
};

} // namespace korvane::reader
