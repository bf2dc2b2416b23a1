// src/binding/lists/to_python.h: the columns as a list of lists of floats
#pragma once

#include "binding/entry/py_ref.h"

#include <korvane/columns.h>

namespace korvane::binding {

/// A new list with one list of floats per column, each float a value widened exactly; frees
/// each column's storage as soon as it has been copied or turned into a list.
[[nodiscard]] py_ref owned_sequence_into_pyobject(columns all_data);

namespace detail {

/// Column-to-list by one float object per value, stored by index: the fast way on CPython. A
/// run of equal values (bit for bit) shares one float object.
class per_value_route {
public:
  /// A list holding one float per value of the column.
  [[nodiscard]] py_ref column_list(const column& values) const;
};

/// Columns-to-lists in bulk, by columns_in_form: on PyPy this avoids making each float, and each
/// column's list, through the C API, which costs far more than the whole list. A failure to make
/// what it needs (the array module, on the first call in the process) is a fatal failure.
[[nodiscard]] py_ref bulk_lists(columns all_data);

} // namespace detail

} // namespace korvane::binding
