// include/korvane/line.h: one line of a plot file
#pragma once

#include <string_view>

namespace korvane {

/// One line of a plot file without its terminator; valid UTF-8, valid until the next line is read.
using line = std::string_view;

} // namespace korvane
