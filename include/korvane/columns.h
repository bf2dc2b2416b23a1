// include/korvane/columns.h: the values of a plot file, one column per parameter
#pragma once

#include <korvane/checked_allocator.h>
#include <vector>

namespace korvane {

/// One parameter's value at every timestep block, in file order.
using column = std::vector<float, checked_allocator<float>>;

/// One column per parameter, in parameter order; all of the same length.
using columns = std::vector<column, checked_allocator<column>>;

} // namespace korvane
