// src/binding/entry/failure_place.h: where on its line a read failed, in words, and the width the
// line suggests
#pragma once

#include <korvane/read_failure.h>
#include <korvane/string.h>

namespace korvane::binding {

/// "field F (bytes S to E)": the field counted from 1, its bytes from 0, E excluded.
[[nodiscard]] string field_place(const read_site& site);

/// "; the line is L bytes long, a multiple of W: should n_digits be W?" when the failure at the
/// first field of the first data line suggests the other common width; empty otherwise.
[[nodiscard]] string width_hint(const read_site& site);

} // namespace korvane::binding
