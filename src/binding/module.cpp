// src/binding/module.cpp: the module definition, its execution step and the registration of
// rust_read_tolvera
#include "binding/entry/entry_guard.h"
#include "binding/entry/exception_type.h"
#include "binding/entry/names.h"
#include "binding/entry/non_null.h"
#include "binding/entry/pending_error.h"
#include "binding/entry/pickling.h"
#include "binding/entry/type_names.h"
#include "binding/lists/call_entry.h"
#include "binding/lists/function_doc.h"
#include "binding/plot/follow_entry.h"
#include "binding/plot/parts_entry.h"
#include "binding/plot/plot_entry.h"
#include "binding/plot/plot_surface.h"

#include <korvane/read_failure.h>
#include <string_view>

namespace korvane::binding {

namespace {

PyObject* make_interned(std::string_view text) {
  PyObject* name =
      non_null(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  PyUnicode_InternInPlace(&name);
  return name;
}

// Made once, on first use, and kept for the life of the process.
PyObject* interned_dunder_name() {
  static PyObject* const name = make_interned("__name__");
  return name;
}

PyObject* interned_dunder_all() {
  static PyObject* const name = make_interned("__all__");
  return name;
}

pending_error type_mismatch(PyObject* object, PyTypeObject* expected) {
  return pending_error::with_message(PyExc_TypeError, type_mismatch_message(object, expected));
}

// The module's __name__ as its dictionary holds it.
result<py_ref> name(PyObject* module) {
  PyObject* dictionary = non_null(PyModule_GetDict(module));
  const py_ref key = py_ref::steal(non_null(PyUnicode_FromStringAndSize("__name__", 8)));
  py_ref value = py_ref::steal(PyObject_GetItem(dictionary, key.get()));
  if (!value) {
    PyErr_Clear();
    return pending_error::with_message(PyExc_AttributeError, "__name__");
  }
  if (!PyUnicode_Check(value.get())) {
    return type_mismatch(value.get(), &PyUnicode_Type);
  }
  return value;
}

// The module's __all__ list, created empty when the module has none.
result<py_ref> index(PyObject* module) {
  py_ref all = py_ref::steal(PyObject_GetAttr(module, interned_dunder_all()));
  if (all) {
    if (!PyList_Check(all.get())) {
      return type_mismatch(all.get(), &PyList_Type);
    }
    return all;
  }
  pending_error error = pending_error::fetch_resuming_panic();
  if (!PyErr_GivenExceptionMatches(error.make_normalized().type.get(), PyExc_AttributeError)) {
    return error;
  }
  all = py_ref::steal(non_null(PyList_New(0)));
  if (PyObject_SetAttr(module, interned_dunder_all(), all.get()) < 0) {
    return pending_error::fetch_resuming_panic();
  }
  return all;
}

// Lists the name in __all__, then sets the attribute.
result<void> add(PyObject* module, PyObject* attribute_name, PyObject* value) {
  result<py_ref> all = index(module);
  if (!all) {
    return all.take_error();
  }
  if (PyList_Append(all.value().get(), attribute_name) < 0) {
    raise_failure("could not append __name__ to __all__",
                  pending_error::fetch_resuming_panic().debug_description());
  }
  if (PyObject_SetAttr(module, attribute_name, value) < 0) {
    return pending_error::fetch_resuming_panic();
  }
  return {};
}

result<void> add_function(PyObject* module, py_ref function) {
  const py_ref function_name =
      py_ref::steal(PyObject_GetAttr(function.get(), interned_dunder_name()));
  if (!function_name) {
    return pending_error::fetch_resuming_panic();
  }
  if (!PyUnicode_Check(function_name.get())) {
    return type_mismatch(function_name.get(), &PyUnicode_Type);
  }
  return add(module, function_name.get(), function.get());
}

result<py_ref> create_py_c_function(PyMethodDef* definition, PyObject* module) {
  result<py_ref> module_name = name(module);
  if (!module_name) {
    return module_name;
  }
  py_ref function =
      py_ref::steal(PyCMethod_New(definition, module, module_name.value().get(), nullptr));
  if (!function) {
    return pending_error::fetch_resuming_panic();
  }
  return function;
}

// CPython gives a function flagged static no self, so its __self__ would be None, not the module.
#ifdef PYPY_VERSION
constexpr int read_tolvera_flags = METH_FASTCALL | METH_STATIC | METH_KEYWORDS;
#else
constexpr int read_tolvera_flags = METH_FASTCALL | METH_KEYWORDS;
#endif

// The interpreter keeps a pointer to this definition in the function object: it lives for the
// whole process.
PyMethodDef read_tolvera_definition = {
    names::function.data(),
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall_cfunction_with_keywords)),
    read_tolvera_flags,
    function_doc,
};

// The reader's entries that plot_surface.py calls; like the definition above, they live for the
// whole process.
PyMethodDef plot_surface_entries[] = {
    {"_read_plot", &read_plot_entry, METH_VARARGS, nullptr},
    {"_follow_open", &follow_open_entry, METH_VARARGS, nullptr},
    {"_follow_read", &follow_read_entry, METH_VARARGS, nullptr},
    {"_follow_close", &follow_close_entry, METH_O, nullptr},
    {"_parts_open", &parts_open_entry, METH_VARARGS, nullptr},
    {"_parts_update", &parts_update_entry, METH_O, nullptr},
    {"_parts_read", &parts_read_entry, METH_VARARGS, nullptr},
    {"_parts_close", &parts_close_entry, METH_O, nullptr},
};

// The names of the read_plot surface that plot_surface.py defines, listed in __all__.
constexpr const char* plot_surface_names[] = {"read_plot", "Plot",     "PlotFormatError",
                                              "follow",    "Follower", "FollowError",
                                              "open_plot", "PlotFile"};

// The read_plot surface: the reader's entries, then the Python half that calls them, its public
// names listed in __all__, and the module's version.
result<void> add_plot_surface(PyObject* module) {
  for (PyMethodDef& definition : plot_surface_entries) {
    result<py_ref> entry = create_py_c_function(&definition, module);
    if (!entry) {
      return entry.take_error();
    }
    if (PyObject_SetAttrString(module, definition.ml_name, entry.value().get()) < 0) {
      return pending_error::fetch_resuming_panic();
    }
  }
  result<void> ran = run_plot_surface(module);
  if (!ran) {
    return ran;
  }
  result<py_ref> all = index(module);
  if (!all) {
    return all.take_error();
  }
  for (const char* public_name : plot_surface_names) {
    const py_ref text = py_ref::steal(PyUnicode_FromString(public_name));
    if (!text || PyList_Append(all.value().get(), text.get()) < 0) {
      return pending_error::fetch_resuming_panic();
    }
  }
  if (PyModule_AddStringConstant(module, "__version__", KORVANE_VERSION) < 0) {
    return pending_error::fetch_resuming_panic();
  }
  return {};
}

// The exception type of every fatal failure as a module attribute, outside __all__, so that
// callers can catch it by name and pickle can find it.
result<void> expose_panic_type(PyObject* module) {
  PyObject* panic_type = panic_exception_type();
  if (PyObject_SetAttrString(module, names::panic_type, panic_type) < 0) {
    return pending_error::fetch_resuming_panic();
  }
  return register_for_pickling(panic_type);
}

result<void> populate(PyObject* module) {
  if (!PyType_IsSubtype(Py_TYPE(module), &PyModule_Type)) {
    return type_mismatch(module, &PyModule_Type);
  }
  result<py_ref> function = create_py_c_function(&read_tolvera_definition, module);
  if (!function) {
    return function.take_error();
  }
  result<void> added = add_function(module, std::move(function.value()));
  if (!added) {
    return added;
  }
  result<void> exposed = expose_panic_type(module);
  if (!exposed) {
    return exposed;
  }
  return add_plot_surface(module);
}

int module_exec(PyObject* module) noexcept {
  return guarded_entry([&] { return populate(module); }, [](result<void>&) { return 0; }, -1);
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&module_exec)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, names::module, "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

PyObject* init_multi_phase() {
  return PyModuleDef_Init(&module_definition);
}

} // namespace

} // namespace korvane::binding

PyMODINIT_FUNC PyInit_korvane() {
  return korvane::binding::init_multi_phase();
}
