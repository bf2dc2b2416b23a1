// src/binding/plot/value_table.cpp: a read's values in one block of storage the interpreter owns
#include "value_table.h"

#include "binding/entry/to_arrays.h"
#include "plot_failure.h"
#include "plot_objects.h"
#include "posix.h"

#include <limits>

namespace korvane::binding {

result<value_table> new_value_table(std::size_t parameters, std::uint64_t blocks) {
  const std::uint64_t most = std::numeric_limits<Py_ssize_t>::max() / sizeof(float);
  if (blocks != 0 && parameters > most / blocks) {
    return pending_error::with_message(PyExc_MemoryError, "too many values for one table");
  }
  const auto values = static_cast<std::size_t>(parameters * blocks);
  value_table table;
  float* first = nullptr;
#ifdef PYPY_VERSION
  result<std::pair<py_ref, float*>> array = new_float_array(values);
  if (!array) {
    return array.take_error();
  }
  table.object = std::move(array.value().first);
  first = array.value().second;
#else
  table.object = py_ref::steal(
      PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(values * sizeof(float))));
  if (!table.object) {
    return pending_error::fetch_resuming_panic();
  }
  first = reinterpret_cast<float*>(PyByteArray_AS_STRING(table.object.get()));
#endif
  // The reading threads are the first to touch the table's pages.
  posix::advise_huge_pages(first, values * sizeof(float));
  count_as_memory_pressure(values * sizeof(float));
  table.storage.reserve(parameters);
  for (std::size_t i = 0; i < parameters; ++i) {
    table.storage.push_back(first + i * blocks);
  }
  return table;
}

result<py_ref> read_into_table(const plot_parts& parts, std::uint64_t blocks,
                               const plot_request& request, bool keep_block_headers,
                               const std::function<plot_contents(column_storage)>& read) {
  result<positions> chosen =
      quiet_read_without_lock([&] { return chosen_parameters(parts, request); });
  if (!chosen) {
    return chosen.take_error();
  }
  result<value_table> table = new_value_table(chosen.value().size(), blocks);
  if (!table) {
    return table.take_error();
  }
  // The reader writes into the table's storage, which nothing else uses until it returns.
  result<plot_contents> contents =
      quiet_read_without_lock([&] { return read(column_storage(table.value().storage)); });
  if (!contents) {
    return contents.take_error();
  }
  return contents_object(std::move(contents.value()), keep_block_headers,
                         std::move(table.value().object));
}

} // namespace korvane::binding
