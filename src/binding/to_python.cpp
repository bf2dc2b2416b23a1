// src/binding/to_python.cpp: the columns as a list of lists of floats
#include "to_python.h"

#include "non_null.h"
#include "to_arrays.h"

#include <bit>
#include <cstdint>
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

// Turns array('f') objects into lists, emptying each array once its list is made so that its
// storage goes at once rather than at the interpreter's next collection. list() of an array
// widens each float to a double exactly, as the per-value route does.
constexpr const char* into_lists_source = "def into_lists(arrays):\n"
                                          "    lists = []\n"
                                          "    for values in arrays:\n"
                                          "        lists.append(list(values))\n"
                                          "        del values[:]\n"
                                          "    return lists\n";

// into_lists, compiled on the first call rather than at import, so that importing the module
// needs nothing the calls need; kept for the process.
PyObject* into_lists = nullptr;

py_ref compiled_into_lists() {
  const py_ref globals = py_ref::steal(non_null(PyDict_New()));
  if (PyDict_SetItemString(globals.get(), "__builtins__", non_null(PyEval_GetBuiltins())) < 0) {
    raise_null_object();
  }
  const py_ref ran = py_ref::steal(
      non_null(PyRun_String(into_lists_source, Py_file_input, globals.get(), globals.get())));
  return py_ref::borrow(non_null(PyDict_GetItemString(globals.get(), "into_lists")));
}

} // namespace

py_ref bulk_lists(columns all_data) {
  result<py_ref> arrays = float_arrays(std::move(all_data));
  if (!arrays) {
    std::move(arrays.take_error()).restore();
    raise_null_object();
  }
  if (into_lists == nullptr) {
    // Compiling runs Python code, during which another thread may come through here too: the
    // first to finish keeps its function.
    py_ref compiled = compiled_into_lists();
    if (into_lists == nullptr) {
      into_lists = compiled.release();
    }
  }
  return py_ref::steal(non_null(PyObject_CallOneArg(into_lists, arrays.value().get())));
}

} // namespace detail

py_ref owned_sequence_into_pyobject(columns all_data) {
#ifdef PYPY_VERSION
  std::size_t values = 0;
  for (const column& values_of_one : all_data) {
    values += values_of_one.size();
  }
  py_ref lists = detail::bulk_lists(std::move(all_data));
  // The result reaches the caller through the C API, and PyPy frees what crossed it only a
  // major collection later than its own objects, without counting it as memory in use: a loop
  // of calls would hold several results. Counting the lists' storage, a double per value, as
  // memory pressure (PyPy's meaning of this call) brings the next major collection forward.
  PyTraceMalloc_Track(0, 0, values * sizeof(double));
  return lists;
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
