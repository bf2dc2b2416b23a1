// src/lib/first_line_tokens.h: the parameter count and the title of a first line that streams by
#pragma once

#include "line_source.h"

#include <array>
#include <cstdint>
#include <korvane/line.h>
#include <korvane/string.h>
#include <string_view>

namespace korvane::reader {

/// Raises the failure of a first line that does not end with a parameter count.
[[noreturn]] void raise_bad_count(line first);

/// Follows the tokens of a first line as it streams by, holding only what its use needs: the text
/// before its last token, which is the title, and of the token under way (with the white space
/// after it) no more than a bounded start, besides whether it is a parameter count. The title is
/// lost when more than that bound of such text turns out not to be last.
class first_line_tokens final : public line_observer {
public:
  void take(std::string_view piece) override;

  /// The parameter count, 0 when the line holds no token; raises the failure of a line that does
  /// not end with one.
  [[nodiscard]] std::uint32_t count() const;
  /// Whether the title was held whole.
  [[nodiscard]] bool title_held() const noexcept { return !title_lost_; }
  /// The line before its last token, trimmed.
  [[nodiscard]] string title() const;

private:
  static std::size_t plain_run_end(std::string_view piece, std::size_t offset) noexcept;
  void take_character(std::string_view character);
  void start_token();
  void follow_count(std::string_view character) noexcept;
  void hold(std::string_view character);

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

} // namespace korvane::reader
