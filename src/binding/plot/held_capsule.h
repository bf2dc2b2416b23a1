// src/binding/plot/held_capsule.h: what an entry of the read_plot surface keeps in a capsule from
// one call to the next
#pragma once

#include "binding/entry/pending_error.h"
#include "binding/entry/py_ref.h"
#include "plot_failure.h"

#include <Python.h>

namespace korvane::binding {

/// The object of type Held that the capsule named `name` holds; the interpreter's error when the
/// capsule is not one.
template <class Held>
result<Held*> held_in(PyObject* capsule, const char* name) {
  auto* held = static_cast<Held*>(PyCapsule_GetPointer(capsule, name));
  if (held == nullptr) {
    return pending_error::fetch_resuming_panic();
  }
  return held;
}

/// The entry that closes what the capsule named `name` holds, by close(held), and returns None.
template <class Held, class Close>
PyObject* close_held_entry(PyObject* capsule, const char* name, Close close) {
  return plot_surface_entry([&](PyObject*&) -> result<py_ref> {
    result<Held*> held = held_in<Held>(capsule, name);
    if (!held) {
      return held.take_error();
    }
    close(*held.value());
    return py_ref::borrow(Py_None);
  });
}

} // namespace korvane::binding
