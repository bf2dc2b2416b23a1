// src/binding/plot/plot_entry.cpp: the interpreter's entry into the reader for read_plot
#include "plot_entry.h"

#include "binding/entry/entry_guard.h"
#include "binding/entry/gil_release.h"
#include "lib.h"
#include "plot_failure.h"
#include "plot_objects.h"
#include "value_table.h"

#include <cstdint>
#include <variant>

namespace korvane::binding {

namespace {

result<py_ref> read_plot_call(PyObject* arguments, PyObject*& path) {
  Py_ssize_t width = 0;
  PyObject* choices = nullptr;
  int keep_block_headers = 0;
  unsigned int threads = 1;
  int threads_as_given = 1;
  if (!PyArg_ParseTuple(arguments, "OnOpIp:_read_plot", &path, &width, &choices,
                        &keep_block_headers, &threads, &threads_as_given)) {
    path = nullptr;
    return pending_error::fetch_resuming_panic();
  }
  result<system_path> file_path = system_path_of(path);
  if (!file_path) {
    return file_path.take_error();
  }
  result<plot_request> request = request_of(width, choices, keep_block_headers);
  if (!request) {
    return request.take_error();
  }
  request.value().stop = signal_check();
  request.value().threads = threads;
  request.value().threads_as_given = threads_as_given != 0;
  // The reader touches no interpreter object. file_path views the bytes of an object it holds,
  // which never change.
  result<plot_start> started = quiet_read_without_lock(
      [&] { return start_plot_read(file_path.value().text, request.value()); });
  if (!started) {
    return started.take_error();
  }
  if (plot_contents* contents = std::get_if<plot_contents>(&started.value())) {
    return contents_object(std::move(*contents), keep_block_headers != 0);
  }
  // The threads share the file: they write its values into a table.
  const shared_plot& shared = std::get<shared_plot>(started.value());
  request.value().read_size = line_source::large_buffer_size;
  return read_into_table(
      shared.parts, shared.shares.blocks, request.value(), keep_block_headers != 0,
      [&](column_storage storage) { return read_shared_plot(shared, request.value(), storage); });
}

} // namespace

PyObject* read_plot_entry(PyObject*, PyObject* arguments) {
  return plot_surface_entry([&](PyObject*& path) { return read_plot_call(arguments, path); });
}

} // namespace korvane::binding
