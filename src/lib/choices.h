// src/lib/choices.h: the parameters a read chooses, by name or by position
#pragma once

#include "head.h"
#include "lib.h"

namespace korvane::reader {

/// The positions of the parameters the request chooses, or of all of them.
positions chosen_or_all(const plot_head& head, const plot_request& request);

/// The names at the positions.
line_texts names_at(const line_texts& names, const positions& chosen);

} // namespace korvane::reader
