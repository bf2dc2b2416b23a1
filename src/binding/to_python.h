// src/binding/to_python.h: the columns as a list of lists of floats
#pragma once

#include "py_ref.h"

#include <korvane/columns.h>

namespace korvane::binding {

/// A new list with one list of floats per column, each float a value widened exactly; frees
/// each column's storage as soon as its list is made.
[[nodiscard]] py_ref owned_sequence_into_pyobject(columns all_data);

namespace detail {

/// Column-to-list by one float object per value, stored by index: the fast way on CPython.
class per_value_route {
public:
  /// A list holding one float per value of the column.
  [[nodiscard]] py_ref column_list(const column& values) const;
};

/// Column-to-list in bulk, through array('f').frombytes of the packed floats as bytes: on
/// PyPy this avoids making each float through the C API, which costs far more than the list.
class bulk_route {
public:
  /// Looks up array.array and its frombytes method.
  bulk_route();
  /// A list holding one float per value of the column.
  [[nodiscard]] py_ref column_list(const column& values) const;

private:
  py_ref array_type_;
  py_ref frombytes_;
  py_ref typecode_;
};

} // namespace detail

} // namespace korvane::binding
