// src/binding/entry/to_arrays.cpp: columns handed to the interpreter through the storage of
// array('f')
#include "to_arrays.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace korvane::binding {

namespace {

// Cuts each batch, an array('f') holding count columns of length values one after another, into
// the columns' arrays (the batch itself when it is one column, else its slices) or lists; empties
// each batch it does not hand on, which frees its storage now rather than at the interpreter's
// next collection. Returns the columns' list when they hold the expected number of values, else
// the number they hold: a tuple of both, looked into from C, would leave PyPy holding a little
// memory for good on every call in some processes.
constexpr const char* cut_batches_source =
    "def cut_batches(batches, into_lists, expected):\n"
    "    columns = []\n"
    "    made = 0\n"
    "    for batch, length, count in batches:\n"
    "        if count == 1:\n"
    "            parts = [list(batch) if into_lists else batch]\n"
    "        else:\n"
    "            parts = [batch[k * length:(k + 1) * length] for k in range(count)]\n"
    "            if into_lists:\n"
    "                parts = [list(part) for part in parts]\n"
    "        for part in parts:\n"
    "            columns.append(part)\n"
    "            made += len(part)\n"
    "        if into_lists or count != 1:\n"
    "            del batch[:]\n"
    "    return columns if made == expected else made\n";

// Values a batch holds at most, unless one column is longer.
constexpr std::size_t batch_values = 16384;

// What the columns are made with, prepared on first use and kept for the process: array('f',
// [0.0]), repeated to a batch's length; array.array.buffer_info, which tells where the
// repetition's storage is; and cut_batches. Read and written with the interpreter lock held.
struct array_tools {
  PyObject* one_zero = nullptr;
  PyObject* buffer_info = nullptr;
  PyObject* cut_batches = nullptr;
};

array_tools tools;

// cut_batches, compiled; null with the interpreter's exception set when that fails.
py_ref compiled_cut_batches() {
  const py_ref globals = py_ref::steal(PyDict_New());
  PyObject* builtins = PyEval_GetBuiltins();
  if (!globals || builtins == nullptr ||
      PyDict_SetItemString(globals.get(), "__builtins__", builtins) < 0) {
    return py_ref();
  }
  const py_ref ran =
      py_ref::steal(PyRun_String(cut_batches_source, Py_file_input, globals.get(), globals.get()));
  return py_ref::borrow(ran ? PyDict_GetItemString(globals.get(), "cut_batches") : nullptr);
}

result<array_tools> prepared_tools() {
  if (tools.cut_batches == nullptr) {
    const py_ref module = py_ref::steal(PyImport_ImportModule("array"));
    const py_ref type =
        py_ref::steal(module ? PyObject_GetAttrString(module.get(), "array") : nullptr);
    py_ref one_zero =
        py_ref::steal(type ? PyObject_CallFunction(type.get(), "s(d)", "f", 0.0) : nullptr);
    py_ref buffer_info =
        py_ref::steal(type ? PyObject_GetAttrString(type.get(), "buffer_info") : nullptr);
    py_ref cut_batches = buffer_info ? compiled_cut_batches() : py_ref();
    if (!one_zero || !buffer_info || !cut_batches) {
      return pending_error::fetch_resuming_panic();
    }
    // Importing runs Python code, during which another thread may have prepared them.
    if (tools.cut_batches == nullptr) {
      tools = {one_zero.release(), buffer_info.release(), cut_batches.release()};
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

// A new array('f') of size values, made by repeating array('f', [0.0]) (copying in through
// frombytes and a view of a column takes PyPy far longer than writing into the storage of an
// array the interpreter made), and its storage.
result<std::pair<py_ref, float*>> zero_array(std::size_t size) {
  const py_ref count = py_ref::steal(PyLong_FromSize_t(size));
  py_ref array = py_ref::steal(count ? PyNumber_Multiply(tools.one_zero, count.get()) : nullptr);
  if (!array) {
    return pending_error::fetch_resuming_panic();
  }
  result<void*> address = size == 0 ? result<void*>(nullptr) : storage_of(array.get(), size);
  if (!address) {
    return address.take_error();
  }
  return std::pair{std::move(array), static_cast<float*>(address.value())};
}

// How many columns from first on have the length of the first, up to as many as a batch holds.
std::size_t batch_count(const columns& data, std::size_t first, std::size_t per_batch) {
  const std::size_t length = data[first].size();
  std::size_t count = 1;
  while (count < per_batch && first + count < data.size() && data[first + count].size() == length) {
    ++count;
  }
  return count;
}

} // namespace

result<handed_columns> columns_in_form(columns data, column_form form) {
  result<array_tools> prepared = prepared_tools();
  if (!prepared) {
    return prepared.take_error();
  }
  const py_ref batches = py_ref::steal(PyList_New(0));
  if (!batches) {
    return pending_error::fetch_resuming_panic();
  }
  std::size_t values = 0;
  for (std::size_t first = 0; first < data.size();) {
    const std::size_t length = data[first].size();
    const std::size_t count = batch_count(
        data, first, std::max<std::size_t>(1, batch_values / std::max<std::size_t>(1, length)));
    result<std::pair<py_ref, float*>> batch = zero_array(count * length);
    if (!batch) {
      return batch.take_error();
    }
    for (std::size_t k = 0; k < count; ++k) {
      if (length != 0) {
        std::memcpy(batch.value().second + k * length, data[first + k].data(),
                    length * sizeof(float));
      }
      data[first + k] = column();
    }
    const py_ref entry = py_ref::steal(Py_BuildValue("(Onn)", batch.value().first.get(),
                                                     static_cast<Py_ssize_t>(length),
                                                     static_cast<Py_ssize_t>(count)));
    if (!entry || PyList_Append(batches.get(), entry.get()) < 0) {
      return pending_error::fetch_resuming_panic();
    }
    values += count * length;
    first += count;
  }
  // The result's storage: a float per value for arrays, a double for lists.
  count_as_memory_pressure(values * (form == column_form::lists ? sizeof(double) : sizeof(float)));
  py_ref cut = py_ref::steal(PyObject_CallFunction(tools.cut_batches, "OOn", batches.get(),
                                                   form == column_form::lists ? Py_True : Py_False,
                                                   static_cast<Py_ssize_t>(values)));
  if (!cut) {
    return pending_error::fetch_resuming_panic();
  }
  handed_columns handed;
  if (PyLong_Check(cut.get())) {
    handed.values_made = PyLong_AsSize_t(cut.get());
    if (PyErr_Occurred() != nullptr) {
      return pending_error::fetch_resuming_panic();
    }
  } else {
    handed.list = std::move(cut);
    handed.values_made = values;
  }
  return handed;
}

result<std::pair<py_ref, float*>> new_float_array(std::size_t size) {
  result<array_tools> prepared = prepared_tools();
  if (!prepared) {
    return prepared.take_error();
  }
  return zero_array(size);
}

void count_as_memory_pressure([[maybe_unused]] std::size_t bytes) noexcept {
#ifdef PYPY_VERSION
  // PyPy frees objects that crossed the C API a major collection later than its own, and does
  // not count their storage as memory in use: counting it as memory pressure, PyPy's meaning of
  // this call, brings the next major collection forward, so a loop of reads holds no backlog.
  PyTraceMalloc_Track(0, 0, bytes);
#endif
}

std::size_t value_count(const columns& data) {
  std::size_t values = 0;
  for (const column& values_of_one : data) {
    values += values_of_one.size();
  }
  return values;
}

result<py_ref> float_arrays(columns data) {
  const std::size_t values = value_count(data);
  result<handed_columns> handed = columns_in_form(std::move(data), column_form::arrays);
  if (!handed) {
    return handed.take_error();
  }
  if (handed.value().values_made != values) {
    return pending_error::with_message(PyExc_SystemError,
                                       "arrays made of other lengths than the columns");
  }
  return std::move(handed.value().list);
}

} // namespace korvane::binding
