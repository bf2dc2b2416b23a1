// src/binding/entry/to_arrays.h: columns handed to the interpreter through the storage of
// array('f')
#pragma once

#include "pending_error.h"
#include "py_ref.h"

#include <cstddef>
#include <korvane/columns.h>
#include <utility>

namespace korvane::binding {

/// What each column becomes: a list of floats, each value widened exactly to a double, or an
/// array('f') holding its floats bit for bit.
enum class column_form { lists, arrays };

/// The list of the columns in their form, and how many values the interpreter put into them
/// (which, by construction, is every value).
struct handed_columns {
  /// The columns; none when they hold other than the values copied in (values_made tells).
  py_ref list;
  std::size_t values_made = 0;
};

/// The columns in the given form, made on the interpreter's side: the columns are copied into
/// new array('f') objects, a batch of up to thousands of columns of one length in each (a long
/// column alone), and one call of a Python function cuts the batches into the columns' arrays or
/// lists. So only the batches and the result cross the C API, which on PyPy costs far more per
/// object than the copies: a file of many parameters takes about as long per value as one of
/// few. Frees each column's storage once copied. What it needs (the array module, the function)
/// is made on first use.
[[nodiscard]] result<handed_columns> columns_in_form(columns data, column_form form);

/// A new array('f') of size values, all 0.0, and the address of its storage, which stays while
/// the array keeps its length.
[[nodiscard]] result<std::pair<py_ref, float*>> new_float_array(std::size_t size);

/// Counts bytes held through objects made by the C API as memory in use where the interpreter
/// would not (PyPy), so that its collector frees such objects as it frees its own.
void count_as_memory_pressure(std::size_t bytes) noexcept;

/// How many values the columns hold in all.
[[nodiscard]] std::size_t value_count(const columns& data);

/// read_plot's columns: a new list holding one array('f') per column.
[[nodiscard]] result<py_ref> float_arrays(columns data);

} // namespace korvane::binding
