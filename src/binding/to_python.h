// src/binding/to_python.h: the columns as a list of lists of floats
#pragma once

#include "py_ref.h"

#include <korvane/columns.h>

namespace korvane::binding {

/// A new list with one list of floats per column, each float a value widened exactly; frees
/// each column's storage as soon as its list is made.
[[nodiscard]] py_ref owned_sequence_into_pyobject(columns all_data);

/// Makes what the conversion keeps for the process; the module's execution step calls it.
void prepare_column_conversion();

namespace detail {

/// Column-to-list by one float object per value, stored by index: the fast way on CPython. A
/// run of equal values (bit for bit) shares one float object.
class per_value_route {
public:
  /// A list holding one float per value of the column.
  [[nodiscard]] py_ref column_list(const column& values) const;
  /// Nothing to release: each float is the list's own.
  void release_storage() const noexcept {}
};

/// Column-to-list in bulk: the packed floats are copied into the storage of an array('f') of
/// the column's length, which the interpreter then turns into a list. On PyPy this avoids making
/// each float through the C API, which costs far more than the whole list.
class bulk_route {
public:
  /// Takes array.array.buffer_info and makes the one-element array('f') repeated per column,
  /// once for the process: the module's execution step calls it, so that no call depends on
  /// what sys.modules holds later.
  static void prepare();
  /// A list holding one float per value of the column; prepare() has run. Columns of one
  /// length go through one array.
  [[nodiscard]] py_ref column_list(const column& values);
  /// Frees the array's storage at once.
  void release_storage();

private:
  // The address of an array's storage, checked to hold length items.
  [[nodiscard]] static void* storage_of(PyObject* array, std::size_t length);

  py_ref array_;
  void* storage_ = nullptr;
  std::size_t length_ = 0;
};

} // namespace detail

} // namespace korvane::binding
