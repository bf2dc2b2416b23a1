// src/binding/to_arrays.cpp: columns as array('f') objects, for read_plot
#include "to_arrays.h"

namespace korvane::binding {

namespace {

// array.array, imported on first use and kept for the process; read and written with the
// interpreter lock held.
PyObject* array_type = nullptr;

result<PyObject*> the_array_type() {
  if (array_type == nullptr) {
    const py_ref module = py_ref::steal(PyImport_ImportModule("array"));
    PyObject* type = module ? PyObject_GetAttrString(module.get(), "array") : nullptr;
    if (type == nullptr) {
      return pending_error::fetch_resuming_panic();
    }
    array_type = type;
  }
  return array_type;
}

// A new array('f') holding the column's values: its bytes are copied in through a read-only
// view of the column's storage, which lives until the copy is made.
result<py_ref> float_array(PyObject* type, const column& values) {
  py_ref array = py_ref::steal(PyObject_CallFunction(type, "s", "f"));
  if (!array) {
    return pending_error::fetch_resuming_panic();
  }
  if (values.empty()) {
    return array;
  }
  // The view only reads: the cast drops a const the interface has no room for.
  char* bytes = const_cast<char*>(reinterpret_cast<const char*>(values.data()));
  const py_ref view = py_ref::steal(PyMemoryView_FromMemory(
      bytes, static_cast<Py_ssize_t>(values.size() * sizeof(float)), PyBUF_READ));
  const py_ref done = py_ref::steal(
      view ? PyObject_CallMethod(array.get(), "frombytes", "O", view.get()) : nullptr);
  if (!done) {
    return pending_error::fetch_resuming_panic();
  }
  return array;
}

} // namespace

result<py_ref> float_arrays(columns data) {
  result<PyObject*> type = the_array_type();
  if (!type) {
    return type.take_error();
  }
  py_ref list = py_ref::steal(PyList_New(static_cast<Py_ssize_t>(data.size())));
  if (!list) {
    return pending_error::fetch_resuming_panic();
  }
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    result<py_ref> array = float_array(type.value(), data[i]);
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
