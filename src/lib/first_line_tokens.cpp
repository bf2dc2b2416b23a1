// src/lib/first_line_tokens.cpp: the parameter count and the title of a first line that streams
// by
#include "first_line_tokens.h"

#include "long_line_hold.h"
#include "text/trim.h"
#include "text/utf8.h"
#include "text/whitespace.h"

#include <algorithm>
#include <korvane/read_failure.h>

namespace korvane::reader {

void raise_bad_count(line first) {
  string message("The first line should end with the number of parameters:\n'");
  message += first;
  message += "'";
  raise_failure(message, {.line_number = 1, .kind = failure_kind::bad_parameter_count});
}

void first_line_tokens::take(std::string_view piece) {
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

std::uint32_t first_line_tokens::count() const {
  if (!seen_token_) {
    return 0;
  }
  if (!count_shaped_ || !has_digit_ || count_ > UINT32_MAX) {
    raise_bad_count(held_);
  }
  return static_cast<std::uint32_t>(count_);
}

string first_line_tokens::title() const {
  return string(text::trim_field(std::string_view(held_).substr(0, committed_)));
}

// The end of the run of ASCII bytes other than white space from offset on.
std::size_t first_line_tokens::plain_run_end(std::string_view piece, std::size_t offset) noexcept {
  while (offset < piece.size() && static_cast<unsigned char>(piece[offset]) < 0x80 &&
         !text::is_ascii_white_space(static_cast<unsigned char>(piece[offset]))) {
    ++offset;
  }
  return offset;
}

void first_line_tokens::take_character(std::string_view character) {
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
void first_line_tokens::start_token() {
  title_lost_ = title_lost_ || tail_dropped_;
  committed_ = held_.size();
  tail_dropped_ = false;
  seen_token_ = true;
  count_shaped_ = true;
  has_digit_ = false;
  count_ = 0;
}

void first_line_tokens::follow_count(std::string_view character) noexcept {
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

void first_line_tokens::hold(std::string_view character) {
  if (held_.size() - committed_ + character.size() > held_before_known) {
    tail_dropped_ = true;
    return;
  }
  held_.append(character);
}

} // namespace korvane::reader
