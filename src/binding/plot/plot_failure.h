// src/binding/plot/plot_failure.h: a failed read of read_plot raised as Python raises such failures
#pragma once

#include "binding/entry/entry_guard.h"
#include "binding/entry/gil_release.h"
#include "binding/entry/py_ref.h"

#include <Python.h>
#include <korvane/read_failure.h>

namespace korvane::binding {

/// Raises the failure of a read of the plot file at path (str or bytes): the OSError open() or
/// read() would raise, PlotFormatError for malformed content, KeyError, IndexError or ValueError
/// for a choice of parameters the file cannot meet, MemoryError for refused memory. A failure while
/// raising it leaves that failure's exception set instead.
void raise_plot_failure(const read_failure& failure, PyObject* path) noexcept;

/// Runs body, which binds the path (a borrowed str or bytes) as soon as it knows it and returns a
/// result<py_ref>, as an entry of the read_plot surface: its value is returned, a pending error
/// is raised, and a failure of the reader is raised by raise_plot_failure for the path.
template <class Body>
PyObject* plot_surface_entry(Body&& body) {
  PyObject* path = nullptr;
  return guarded_entry([&] { return body(path); },
                       [](result<py_ref>& outcome) { return outcome.value().release(); },
                       static_cast<PyObject*>(nullptr),
                       [&](const read_failure& failure) noexcept {
                         raise_plot_failure(failure, path != nullptr ? path : Py_None);
                       });
}

/// Runs read, a call of the reader, without the interpreter lock and with its failures quiet:
/// they come back with no report on standard error, for plot_surface_entry to raise.
template <class Read>
auto quiet_read_without_lock(Read&& read) {
  return without_interpreter_lock([&] {
    const quiet_failures quiet;
    return read();
  });
}

} // namespace korvane::binding
