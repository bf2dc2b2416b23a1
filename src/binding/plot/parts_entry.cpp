// src/binding/plot/parts_entry.cpp: the interpreter's entries into the reader for open_plot
#include "parts_entry.h"

#include "binding/entry/entry_guard.h"
#include "binding/entry/gil_release.h"
#include "file_loss.h"
#include "held_capsule.h"
#include "lib.h"
#include "plot_failure.h"
#include "plot_objects.h"
#include "plot_surface.h"
#include "posix.h"
#include "value_table.h"

#include <memory>
#include <optional>

namespace korvane::binding {

namespace {

constexpr const char* capsule_name = "korvane.plot_file";

// A plot file held open: the file it was when opened, its path, and its head and index.
struct open_parts {
  /// Empty once closed.
  std::optional<plot_parts> parts;
  posix::file_facts identity;
  py_ref path;
  string path_text;
};

void destroy_parts(PyObject* capsule) {
  delete static_cast<open_parts*>(PyCapsule_GetPointer(capsule, capsule_name));
}

result<open_parts*> parts_of(PyObject* capsule) {
  result<open_parts*> held = held_in<open_parts>(capsule, capsule_name);
  if (held && !held.value()->parts) {
    return pending_error::with_message(PyExc_ValueError, "I/O operation on a closed plot file");
  }
  return held;
}

result<py_ref> parts_open_call(PyObject* arguments, PyObject*& path) {
  Py_ssize_t width = 0;
  int whole = 0;
  if (!PyArg_ParseTuple(arguments, "Onp:_parts_open", &path, &width, &whole)) {
    path = nullptr;
    return pending_error::fetch_resuming_panic();
  }
  result<system_path> file_path = system_path_of(path);
  if (!file_path) {
    return file_path.take_error();
  }
  result<plot_request> request = request_of(width, Py_None, 0);
  if (!request) {
    return request.take_error();
  }
  request.value().stop = signal_check();
  auto held = std::make_unique<open_parts>();
  held->path = py_ref::borrow(path);
  held->path_text = string(file_path.value().text);
  // The reader touches no interpreter object; path_text is the entry's own.
  result<plot_parts> opened = quiet_read_without_lock([&] {
    plot_parts parts = open_plot_parts(held->path_text, request.value());
    if (whole != 0) {
      take_plot_parts_whole(parts, request.value().stop);
    }
    return parts;
  });
  if (!opened) {
    return opened.take_error();
  }
  held->parts.emplace(std::move(opened.value()));
  const std::optional<posix::file_facts> facts = posix::facts_of(held->parts->file.get());
  if (!facts) {
    return os_error(path);
  }
  held->identity = *facts;
  py_ref title = text_object(held->parts->title);
  py_ref names = py_ref::steal(PyTuple_New(static_cast<Py_ssize_t>(held->parts->names.size())));
  if (!title || !names) {
    return pending_error::fetch_resuming_panic();
  }
  for (std::size_t i = 0; i < held->parts->names.size(); ++i) {
    py_ref name = text_object(held->parts->names[i]);
    if (!name) {
      return pending_error::fetch_resuming_panic();
    }
    PyTuple_SET_ITEM(names.get(), static_cast<Py_ssize_t>(i), name.release());
  }
  py_ref capsule = py_ref::steal(PyCapsule_New(held.get(), capsule_name, &destroy_parts));
  if (!capsule) {
    return pending_error::fetch_resuming_panic();
  }
  held.release();
  py_ref triple = py_ref::steal(PyTuple_Pack(3, capsule.get(), title.get(), names.get()));
  if (!triple) {
    return pending_error::fetch_resuming_panic();
  }
  return triple;
}

result<py_ref> parts_update_call(PyObject* capsule, PyObject*& path) {
  result<open_parts*> found = parts_of(capsule);
  if (!found) {
    return found.take_error();
  }
  open_parts& held = *found.value();
  path = held.path.get();
  plot_parts& parts = *held.parts;
  const std::optional<posix::file_facts> now = posix::facts_of(parts.file.get());
  if (!now) {
    return os_error(path);
  }
  if (const std::optional<file_loss> lost =
          lost_track(held.path_text, held.identity, *now, file_bytes_indexed(parts))) {
    return follow_error(path, *lost);
  }
  if (!parts.whole) {
    // The plot file is the caller's, used from one thread at a time.
    result<bool> extended = quiet_read_without_lock([&] {
      update_plot_parts(parts, signal_check());
      return true;
    });
    if (!extended) {
      return extended.take_error();
    }
  }
  py_ref pair =
      py_ref::steal(Py_BuildValue("(KI)", static_cast<unsigned long long>(parts.index.blocks()),
                                  static_cast<unsigned int>(parts.width.value_or(0))));
  if (!pair) {
    return pending_error::fetch_resuming_panic();
  }
  return pair;
}

// The runs a sequence of (first, last) pairs names; the surface has checked them.
result<block_runs> runs_of(PyObject* sequence) {
  const py_ref items = py_ref::steal(PySequence_Fast(sequence, "runs must be a sequence"));
  if (!items) {
    return pending_error::fetch_resuming_panic();
  }
  block_runs runs;
  const Py_ssize_t count = PySequence_Fast_GET_SIZE(items.get());
  runs.reserve(static_cast<std::size_t>(count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    unsigned long long first = 0;
    unsigned long long last = 0;
    if (!PyArg_ParseTuple(PySequence_Fast_GET_ITEM(items.get(), i), "KK", &first, &last)) {
      return pending_error::fetch_resuming_panic();
    }
    runs.push_back({first, last});
  }
  return runs;
}

result<py_ref> parts_read_call(PyObject* arguments, PyObject*& path) {
  PyObject* capsule = nullptr;
  PyObject* choices = nullptr;
  int keep_block_headers = 0;
  PyObject* run_pairs = nullptr;
  unsigned int threads = 1;
  int threads_as_given = 1;
  if (!PyArg_ParseTuple(arguments, "OOpOIp:_parts_read", &capsule, &choices, &keep_block_headers,
                        &run_pairs, &threads, &threads_as_given)) {
    return pending_error::fetch_resuming_panic();
  }
  result<open_parts*> found = parts_of(capsule);
  if (!found) {
    return found.take_error();
  }
  const open_parts& held = *found.value();
  path = held.path.get();
  result<plot_request> request = request_of(0, choices, keep_block_headers);
  if (!request) {
    return request.take_error();
  }
  result<block_runs> runs = runs_of(run_pairs);
  if (!runs) {
    return runs.take_error();
  }
  request.value().stop = signal_check();
  request.value().read_size = line_source::large_buffer_size;
  request.value().threads = threads;
  request.value().threads_as_given = threads_as_given != 0;
  return read_into_table(*held.parts, blocks_in(runs.value()), request.value(),
                         keep_block_headers != 0, [&](column_storage storage) {
                           return read_plot_runs(*held.parts, runs.value(), request.value(),
                                                 storage);
                         });
}

} // namespace

PyObject* parts_open_entry(PyObject*, PyObject* arguments) {
  return plot_surface_entry([&](PyObject*& path) { return parts_open_call(arguments, path); });
}

PyObject* parts_update_entry(PyObject*, PyObject* capsule) {
  return plot_surface_entry([&](PyObject*& path) { return parts_update_call(capsule, path); });
}

PyObject* parts_read_entry(PyObject*, PyObject* arguments) {
  return plot_surface_entry([&](PyObject*& path) { return parts_read_call(arguments, path); });
}

PyObject* parts_close_entry(PyObject*, PyObject* capsule) {
  return close_held_entry<open_parts>(capsule, capsule_name,
                                      [](open_parts& held) { held.parts.reset(); });
}

} // namespace korvane::binding
