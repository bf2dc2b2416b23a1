// include/korvane/string.h: owned UTF-8 text, for messages and lines that span buffer refills
#pragma once

#include <korvane/checked_allocator.h>
#include <string>

namespace korvane {

/// Owned UTF-8 text whose memory comes from checked_allocator.
using string = std::basic_string<char, std::char_traits<char>, checked_allocator<char>>;

} // namespace korvane
