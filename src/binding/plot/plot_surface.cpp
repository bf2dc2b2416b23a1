// src/binding/plot/plot_surface.cpp: the Python half of the read_plot surface, run in the module
#include "plot_surface.h"

#include "plot_surface_source.h"

namespace korvane::binding {

namespace {

// Kept for the process from the first module run, with the interpreter lock held.
PyObject* plot_format_error = nullptr;
PyObject* follow_error = nullptr;

// Keeps the type the namespace holds under name in kept, unless one is kept already.
result<void> keep_type(PyObject* namespace_, const char* name, PyObject*& kept) {
  if (kept != nullptr) {
    return {};
  }
  PyObject* type = PyDict_GetItemString(namespace_, name);
  if (type == nullptr) {
    return pending_error::with_message(PyExc_AttributeError, name);
  }
  Py_INCREF(type);
  kept = type;
  return {};
}

} // namespace

result<void> run_plot_surface(PyObject* module) {
  PyObject* namespace_ = PyModule_GetDict(module);
  if (namespace_ == nullptr) {
    return pending_error::fetch_resuming_panic();
  }
  // Functions defined by the code find the builtins through the namespace they were made in.
  if (PyDict_GetItemString(namespace_, "__builtins__") == nullptr &&
      PyDict_SetItemString(namespace_, "__builtins__", PyEval_GetBuiltins()) < 0) {
    return pending_error::fetch_resuming_panic();
  }
  for (const surface_source& source : plot_surface_sources) {
    const py_ref code =
        py_ref::steal(Py_CompileString(source.text, source.file_name, Py_file_input));
    const py_ref ran =
        py_ref::steal(code ? PyEval_EvalCode(code.get(), namespace_, namespace_) : nullptr);
    if (!ran) {
      return pending_error::fetch_resuming_panic();
    }
  }
  result<void> kept = keep_type(namespace_, "PlotFormatError", plot_format_error);
  if (!kept) {
    return kept;
  }
  return keep_type(namespace_, "FollowError", follow_error);
}

PyObject* plot_format_error_type() noexcept {
  return plot_format_error;
}

PyObject* follow_error_type() noexcept {
  return follow_error;
}

} // namespace korvane::binding
