// src/binding/lists/to_python.cpp: the columns as a list of lists of floats
#include "to_python.h"

#include "binding/entry/non_null.h"
#include "binding/entry/to_arrays.h"

#include <bit>
#include <cstdint>
#include <korvane/read_failure.h>
#include <utility>

namespace korvane::binding {

namespace detail {

py_ref per_value_route::column_list(const column& values) const {
  py_ref list = py_ref::steal(non_null(PyList_New(static_cast<Py_ssize_t>(values.size()))));
  PyObject* previous = nullptr;
  std::uint32_t previous_bits = 0;
  for (std::size_t k = 0; k < values.size(); ++k) {
    const auto bits = std::bit_cast<std::uint32_t>(values[k]);
    // Plot files often hold parameters that stay constant: a float equal to the one before it,
    // bit for bit (so -0.0 and NaN payloads stay apart), shares its object.
    if (previous != nullptr && bits == previous_bits) {
      Py_INCREF(previous);
    } else {
      // float to double is exact: every float, NaN payloads and infinities included, is a
      // double.
      previous = non_null(PyFloat_FromDouble(static_cast<double>(values[k])));
      previous_bits = bits;
    }
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k), previous);
  }
  return list;
}

namespace {

// The interpreter made the lists from arrays of the columns' lengths, so the counts agree; the
// check keeps lists that would not from reaching the caller.
void check_list_length(std::size_t made, std::size_t expected) {
  if (made > expected) {
    raise_failure("Attempted to create PyList but `elements` was larger than reported by its "
                  "`ExactSizeIterator` implementation.");
  }
  if (made < expected) {
    raise_failure("Attempted to create PyList but `elements` was smaller than reported by its "
                  "`ExactSizeIterator` implementation.");
  }
}

} // namespace

py_ref bulk_lists(columns all_data) {
  const std::size_t count = all_data.size();
  const std::size_t values = value_count(all_data);
  result<handed_columns> handed = columns_in_form(std::move(all_data), column_form::lists);
  if (!handed) {
    std::move(handed.take_error()).restore();
    raise_null_object();
  }
  check_list_length(handed.value().values_made, values);
  check_list_length(static_cast<std::size_t>(PyList_Size(handed.value().list.get())), count);
  return std::move(handed.value().list);
}

} // namespace detail

py_ref owned_sequence_into_pyobject(columns all_data) {
#ifdef PYPY_VERSION
  return detail::bulk_lists(std::move(all_data));
#else
  const detail::per_value_route route;
  py_ref outer = py_ref::steal(non_null(PyList_New(static_cast<Py_ssize_t>(all_data.size()))));
  for (std::size_t i = 0; i < all_data.size(); ++i) {
    py_ref inner = route.column_list(all_data[i]);
    all_data[i] = column();
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(i), inner.release());
  }
  return outer;
#endif
}

} // namespace korvane::binding
