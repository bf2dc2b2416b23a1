// src/binding/to_python.cpp: the columns as a list of lists of floats
#include "to_python.h"

#include "non_null.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <korvane/read_failure.h>
#include <type_traits>

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

// array.array.buffer_info and array('f', [0.0]), kept for the process once prepared.
PyObject* buffer_info = nullptr;
PyObject* one_zero = nullptr;

} // namespace

void bulk_route::prepare() {
  if (buffer_info != nullptr) {
    return;
  }
  const py_ref module = py_ref::steal(non_null(PyImport_ImportModule("array")));
  const py_ref array_type = py_ref::steal(non_null(PyObject_GetAttrString(module.get(), "array")));
  py_ref info = py_ref::steal(non_null(PyObject_GetAttrString(array_type.get(), "buffer_info")));
  one_zero = non_null(PyObject_CallFunction(array_type.get(), "s(d)", "f", 0.0));
  buffer_info = info.release();
}

py_ref bulk_route::column_list(const column& values) {
  if (values.empty()) {
    return py_ref::steal(non_null(PyList_New(0)));
  }
  // The columns of a file are all of one length: one array carries them all, so that its
  // storage is allocated, and its pages touched, once per call rather than once per column.
  if (!array_ || length_ != values.size()) {
    const py_ref count = py_ref::steal(non_null(PyLong_FromSize_t(values.size())));
    array_ = py_ref::steal(non_null(PyNumber_Multiply(one_zero, count.get())));
    storage_ = storage_of(array_.get(), values.size());
    length_ = values.size();
  }
  std::memcpy(storage_, values.data(), values.size() * sizeof(float));
  py_ref list = py_ref::steal(non_null(PySequence_List(array_.get())));
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

void bulk_route::release_storage() {
  // Emptying the array frees its storage now rather than at the interpreter's next collection.
  if (array_ && PySequence_DelSlice(array_.get(), 0, PY_SSIZE_T_MAX) < 0) {
    raise_null_object();
  }
  array_ = py_ref();
}

void* bulk_route::storage_of(PyObject* array, std::size_t length) {
  const py_ref info = py_ref::steal(non_null(PyObject_CallOneArg(buffer_info, array)));
  // buffer_info() is (address, length); the array's storage does not move while it keeps its
  // length.
  void* address = PyLong_AsVoidPtr(non_null(PyTuple_GetItem(info.get(), 0)));
  const Py_ssize_t items = PyLong_AsSsize_t(non_null(PyTuple_GetItem(info.get(), 1)));
  if (address == nullptr || items != static_cast<Py_ssize_t>(length)) {
    raise_null_object();
  }
  return address;
}

} // namespace detail

namespace {

#ifdef PYPY_VERSION
using column_route = detail::bulk_route;
#else
using column_route = detail::per_value_route;
#endif

} // namespace

void prepare_column_conversion() {
  if constexpr (std::is_same_v<column_route, detail::bulk_route>) {
    detail::bulk_route::prepare();
  }
}

py_ref owned_sequence_into_pyobject(columns all_data) {
  column_route route;
  py_ref outer = py_ref::steal(non_null(PyList_New(static_cast<Py_ssize_t>(all_data.size()))));
  for (std::size_t i = 0; i < all_data.size(); ++i) {
    py_ref inner = route.column_list(all_data[i]);
    all_data[i] = column();
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(i), inner.release());
  }
  route.release_storage();
  return outer;
}

} // namespace korvane::binding
