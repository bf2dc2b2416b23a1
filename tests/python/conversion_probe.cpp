// tests/python/conversion_probe.cpp: a test module that reaches binding internals Python cannot
// reach through korvane: both column routes, the debug description of a pending error, the
// failure trap of the entry guard, and the failure note on exceptions that refuse it
#include "binding/entry/entry_guard.h"
#include "binding/entry/pending_error.h"
#include "binding/lists/failure_note.h"
#include "binding/lists/to_python.h"

#include <Python.h>
#include <cstring>
#include <korvane/read_failure.h>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using korvane::binding::py_ref;

// The packed floats of a bytes object as a column; false with an exception set when it is none.
bool column_of(PyObject* packed, korvane::column& values) {
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(packed, &data, &size) < 0) {
    return false;
  }
  std::vector<float> packed_values(static_cast<std::size_t>(size) / sizeof(float));
  if (!packed_values.empty()) {
    std::memcpy(packed_values.data(), data, packed_values.size() * sizeof(float));
  }
  values.append(packed_values.data(), packed_values.size());
  return true;
}

// widen(bytes) -> (list by the bulk route, list by the per-value route)
PyObject* widen(PyObject*, PyObject* packed) noexcept {
  korvane::column values;
  if (!column_of(packed, values)) {
    return nullptr;
  }
  py_ref per_value = korvane::binding::detail::per_value_route().column_list(values);
  korvane::columns all_data;
  all_data.push_back(std::move(values));
  py_ref bulk = korvane::binding::detail::bulk_lists(std::move(all_data));
  return PyTuple_Pack(2, PyList_GET_ITEM(bulk.get(), 0), per_value.get());
}

// widen_all(list of bytes) -> (the columns' lists by the bulk route, by the per-value route)
PyObject* widen_all(PyObject*, PyObject* packed_columns) noexcept {
  korvane::columns all_data;
  const py_ref per_value = py_ref::steal(PyList_New(0));
  for (Py_ssize_t i = 0; i < PyList_Size(packed_columns); ++i) {
    korvane::column values;
    if (!column_of(PyList_GetItem(packed_columns, i), values)) {
      return nullptr;
    }
    const py_ref list = korvane::binding::detail::per_value_route().column_list(values);
    PyList_Append(per_value.get(), list.get());
    all_data.push_back(std::move(values));
  }
  const py_ref bulk = korvane::binding::detail::bulk_lists(std::move(all_data));
  return PyTuple_Pack(2, bulk.get(), per_value.get());
}

// describe(exception) -> the debug description of the exception taken as a pending error
PyObject* describe(PyObject*, PyObject* exception) noexcept {
  PyObject* traceback = PyException_GetTraceback(exception);
  Py_INCREF(exception);
  PyErr_Restore(reinterpret_cast<PyObject*>(Py_TYPE(exception)), exception, traceback);
  Py_INCREF(Py_TYPE(exception));
  const korvane::string text =
      korvane::binding::pending_error::take_resuming_panic()->debug_description();
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// guarded(kind): an entry whose body raises the fatal failure "probe failure" ("caught"),
// throws a foreign exception ("foreign"), or succeeds and fails while handing over ("late").
PyObject* guarded(PyObject*, PyObject* kind) noexcept {
  const std::string_view what = PyUnicode_AsUTF8(kind);
  return korvane::binding::guarded_entry(
      [&]() -> korvane::binding::result<void> {
        if (what == "caught") {
          korvane::raise_failure("probe failure");
        }
        if (what == "foreign") {
          throw std::runtime_error("foreign");
        }
        return {};
      },
      [](korvane::binding::result<void>&) -> PyObject* { korvane::raise_failure("late failure"); },
      static_cast<PyObject*>(nullptr));
}

// noted(exception, line_number) -> the exception set after a failure note for line_number of
// "probe.plt" was added to it while it was being raised
PyObject* noted(PyObject*, PyObject* arguments) noexcept {
  PyObject* exception = nullptr;
  unsigned long long line_number = 0;
  if (!PyArg_ParseTuple(arguments, "OK", &exception, &line_number)) {
    return nullptr;
  }
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception)), exception);
  korvane::binding::add_failure_note({.line_number = line_number}, "probe.plt");
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return value;
}

PyMethodDef probe_methods[] = {
    {"widen", widen, METH_O, nullptr},       {"widen_all", widen_all, METH_O, nullptr},
    {"describe", describe, METH_O, nullptr}, {"guarded", guarded, METH_O, nullptr},
    {"noted", noted, METH_VARARGS, nullptr}, {nullptr, nullptr, 0, nullptr},
};

PyModuleDef probe_definition = {
    PyModuleDef_HEAD_INIT,
    "conversion_probe",
    nullptr,
    -1,
    probe_methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

} // namespace

PyMODINIT_FUNC PyInit_conversion_probe() {
  return PyModule_Create(&probe_definition);
}
