// src/binding/to_arrays.cpp: columns as array('f') objects, for read_plot
#include "to_arrays.h"

#include <cstring>

namespace korvane::binding {

namespace {

// What the arrays are made with, prepared on first use and kept for the process: array('f',
// [0.0]), repeated to a column's length, and array.array.buffer_info, which tells where the
// repetition's storage is. Read and written with the interpreter lock held.
struct array_tools {
  PyObject* one_zero = nullptr;
  PyObject* buffer_info = nullptr;
};

array_tools tools;

result<array_tools> prepared_tools() {
  if (tools.buffer_info == nullptr) {
    const py_ref module = py_ref::steal(PyImport_ImportModule("array"));
    const py_ref type =
        py_ref::steal(module ? PyObject_GetAttrString(module.get(), "array") : nullptr);
    py_ref one_zero =
        py_ref::steal(type ? PyObject_CallFunction(type.get(), "s(d)", "f", 0.0) : nullptr);
    py_ref buffer_info =
        py_ref::steal(type ? PyObject_GetAttrString(type.get(), "buffer_info") : nullptr);
    if (!one_zero || !buffer_info) {
      return pending_error::fetch_resuming_panic();
    }
    // Importing runs Python code, during which another thread may have prepared them.
    if (tools.buffer_info == nullptr) {
      tools = {one_zero.release(), buffer_info.release()};
    }
  }
  return tools;
}

// The address of the storage of an array of length items; it stays while the array keeps its
// length.
result<void*> storage_of(PyObject* array, std::size_t length) {
  const py_ref info = py_ref::steal(PyObject_CallOneArg(tools.buffer_info, array));
  if (!info) {
    return pending_error::fetch_resuming_panic();
  }
  // buffer_info() is (address, length).
  void* address = PyLong_AsVoidPtr(PyTuple_GetItem(info.get(), 0));
  const Py_ssize_t items = PyLong_AsSsize_t(PyTuple_GetItem(info.get(), 1));
  if (PyErr_Occurred() != nullptr) {
    return pending_error::fetch_resuming_panic();
  }
  if (address == nullptr || items != static_cast<Py_ssize_t>(length)) {
    return pending_error::with_message(PyExc_SystemError, "array storage not where it was told");
  }
  return address;
}

// A new array('f') holding the column's values: an array of the column's length, made by the
// interpreter, whose storage the values are copied into. (Copying in through frombytes and a
// view of the column takes PyPy far longer.)
result<py_ref> float_array(const column& values) {
  const py_ref count = py_ref::steal(PyLong_FromSize_t(values.size()));
  py_ref array = py_ref::steal(count ? PyNumber_Multiply(tools.one_zero, count.get()) : nullptr);
  if (!array) {
    return pending_error::fetch_resuming_panic();
  }
  if (values.empty()) {
    return array;
  }
  result<void*> storage = storage_of(array.get(), values.size());
  if (!storage) {
    return storage.take_error();
  }
  std::memcpy(storage.value(), values.data(), values.size() * sizeof(float));
  return array;
}

} // namespace

result<py_ref> float_arrays(columns data) {
  result<array_tools> prepared = prepared_tools();
  if (!prepared) {
    return prepared.take_error();
  }
  py_ref list = py_ref::steal(PyList_New(static_cast<Py_ssize_t>(data.size())));
  if (!list) {
    return pending_error::fetch_resuming_panic();
  }
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    result<py_ref> array = float_array(data[i]);
    if (!array) {
      return array.take_error();
    }
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), array.value().release());
    bytes += data[i].size() * sizeof(float);
    data[i] = column();
  }
#ifdef PYPY_VERSION
  // PyPy frees objects that crossed the C API a major collection later than its own, and does
  // not count their storage as memory in use: counting it as memory pressure (PyPy's meaning of
  // this call) brings the next major collection forward, so a loop of reads holds no backlog.
  PyTraceMalloc_Track(0, 0, bytes);
#endif
  return list;
}

} // namespace korvane::binding
