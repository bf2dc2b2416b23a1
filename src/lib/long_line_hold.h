// src/lib/long_line_hold.h: how much is held of a line whose use may need it whole
#pragma once

#include <cstddef>

namespace korvane::reader {

/// The most bytes held of a line whose use may need it whole (the first line for its title, the
/// first data line for the width it tells), before that use is known, when the input can be read
/// again should the use need more.
inline constexpr std::size_t held_before_known = std::size_t{1} << 20;

/// How the lines whose use may need them whole are held: whole, or only as far as their use turns
/// out to need, when failures are quiet (the message holds the whole first line otherwise) and
/// the input can be read again.
enum class long_line_hold : bool { whole, as_used };

} // namespace korvane::reader
