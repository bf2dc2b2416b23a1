// src/binding/lists/failure_note.h: the note that says where in the plot file a read failed
#pragma once

#include <korvane/read_failure.h>
#include <korvane/string.h>
#include <string_view>

namespace korvane::binding {

/// Gives the PanicException being raised a __notes__ list holding one note: "in plot file
/// 'path', line N", then ", field F (bytes S to E)" when a field is concerned (F counted from 1,
/// byte offsets from 0 on the line, E excluded), and a hint when the line would fit the other
/// common field width. Nothing is added for a failure that concerns no line, or when the note
/// cannot be made: the exception stays the one raised, and no other error is left behind.
void add_failure_note(const read_site& site, std::string_view file_path) noexcept;

} // namespace korvane::binding
