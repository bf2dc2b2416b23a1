// src/binding/entry/failure_place.cpp: where on its line a read failed, in words, and the width
// the line suggests
#include "failure_place.h"

#include "text/number_text.h"

#include <optional>

namespace korvane::binding {

namespace {

// The two widths the plot files are written with: six and nine digits of precision.
constexpr std::size_t narrow_width = 12;
constexpr std::size_t wide_width = 15;
constexpr std::size_t fields_per_line = 10;

// The common width other than the one that failed, when the failure at the first field of the
// first data line suggests the file was written with it: the line is a whole number of its
// fields, at most a full line.
std::optional<std::size_t> other_fitting_width(const read_site& site) {
  const std::size_t width = site.field_end - site.field_start;
  if (!site.has_field || !site.first_data_line || site.field_index != 0 || site.line_length == 0 ||
      (width != narrow_width && width != wide_width)) {
    return std::nullopt;
  }
  const std::size_t other = width == narrow_width ? wide_width : narrow_width;
  if (site.line_length % other != 0 || site.line_length > other * fields_per_line) {
    return std::nullopt;
  }
  return other;
}

} // namespace

string field_place(const read_site& site) {
  string place("field ");
  text::append_number(place, site.field_index + 1);
  place.append(" (bytes ");
  text::append_number(place, site.field_start);
  place.append(" to ");
  text::append_number(place, site.field_end);
  place.append(")");
  return place;
}

string width_hint(const read_site& site) {
  string hint;
  if (const std::optional<std::size_t> other = other_fitting_width(site)) {
    hint.append("; the line is ");
    text::append_number(hint, site.line_length);
    hint.append(" bytes long, a multiple of ");
    text::append_number(hint, *other);
    hint.append(": should n_digits be ");
    text::append_number(hint, *other);
    hint.append("?");
  }
  return hint;
}

} // namespace korvane::binding
