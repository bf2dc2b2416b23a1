// src/binding/to_python.cpp: the columns as a list of lists of floats
#include "to_python.h"

#include "non_null.h"

#include <korvane/read_failure.h>

namespace korvane::binding {

namespace detail {

py_ref per_value_route::column_list(const column& values) const {
  py_ref list = py_ref::steal(non_null(PyList_New(static_cast<Py_ssize_t>(values.size()))));
  for (std::size_t k = 0; k < values.size(); ++k) {
    // float to double is exact: every float, NaN payloads and infinities included, is a double.
    PyObject* value = non_null(PyFloat_FromDouble(static_cast<double>(values[k])));
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k), value);
  }
  return list;
}

bulk_route::bulk_route() {
  const py_ref module = py_ref::steal(non_null(PyImport_ImportModule("array")));
  array_type_ = py_ref::steal(non_null(PyObject_GetAttrString(module.get(), "array")));
  frombytes_ = py_ref::steal(non_null(PyObject_GetAttrString(array_type_.get(), "frombytes")));
  typecode_ = py_ref::steal(non_null(PyUnicode_FromStringAndSize("f", 1)));
}

py_ref bulk_route::column_list(const column& values) const {
  if (values.empty()) {
    return py_ref::steal(non_null(PyList_New(0)));
  }
  const py_ref array =
      py_ref::steal(non_null(PyObject_CallOneArg(array_type_.get(), typecode_.get())));
  // A bytes copy of the packed floats, not a memoryview over them: PyPy's memoryviews made
  // from C memory are never freed.
  const py_ref packed = py_ref::steal(
      non_null(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(values.data()),
                                         static_cast<Py_ssize_t>(values.size() * sizeof(float)))));
  const py_ref filled = py_ref::steal(
      non_null(PyObject_CallFunctionObjArgs(frombytes_.get(), array.get(), packed.get(), nullptr)));
  py_ref list = py_ref::steal(non_null(PySequence_List(array.get())));
  const auto made = static_cast<std::size_t>(PyList_GET_SIZE(list.get()));
  if (made > values.size()) {
    raise_failure("Attempted to create PyList but `elements` was larger than reported by its "
                  "`ExactSizeIterator` implementation.");
  }
  if (made < values.size()) {
    raise_failure("Attempted to create PyList but `elements` was smaller than reported by its "
                  "`ExactSizeIterator` implementation.");
  }
  return list;
}

} // namespace detail

namespace {

#ifdef PYPY_VERSION
using column_route = detail::bulk_route;
#else
using column_route = detail::per_value_route;
#endif

} // namespace

py_ref owned_sequence_into_pyobject(columns all_data) {
  const column_route route;
  py_ref outer = py_ref::steal(non_null(PyList_New(static_cast<Py_ssize_t>(all_data.size()))));
  for (std::size_t i = 0; i < all_data.size(); ++i) {
    py_ref inner = route.column_list(all_data[i]);
    column().swap(all_data[i]);
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(i), inner.release());
  }
  return outer;
}

} // namespace korvane::binding
