// src/binding/plot/plot_objects.cpp: what the read_plot and follow entries take from Python and
// give back
#include "plot_objects.h"

#include "binding/entry/to_arrays.h"

#include <cstdint>

namespace korvane::binding {

namespace {

using choice_list = std::vector<column_choice, checked_allocator<column_choice>>;

result<column_choice> choice_of(PyObject* item) {
  if (PyUnicode_Check(item)) {
    result<std::string_view> name = utf8_of(item);
    if (!name) {
      return name.take_error();
    }
    return column_choice{.by_name = true, .position = 0, .name = string(name.value())};
  }
  if (!PyLong_Check(item)) {
    return pending_error::with_message(PyExc_TypeError,
                                       "choices must hold positions (int) and names (str)");
  }
  const long long position = PyLong_AsLongLong(item);
  if (position == -1 && PyErr_Occurred()) {
    return pending_error::fetch_resuming_panic();
  }
  return column_choice{.by_name = false, .position = position, .name = string()};
}

result<choice_list> choices_of(PyObject* choices) {
  const py_ref items = py_ref::steal(PySequence_Fast(choices, "choices must be a sequence"));
  if (!items) {
    return pending_error::fetch_resuming_panic();
  }
  choice_list list;
  const Py_ssize_t count = PySequence_Fast_GET_SIZE(items.get());
  for (Py_ssize_t i = 0; i < count; ++i) {
    result<column_choice> choice = choice_of(PySequence_Fast_GET_ITEM(items.get(), i));
    if (!choice) {
      return choice.take_error();
    }
    list.push_back(std::move(choice.value()));
  }
  return list;
}

// A new tuple (make_tuple) or list of str, one per text.
result<py_ref> texts_object(const line_texts& texts, bool make_tuple) {
  const auto count = static_cast<Py_ssize_t>(texts.size());
  py_ref sequence = py_ref::steal(make_tuple ? PyTuple_New(count) : PyList_New(count));
  if (!sequence) {
    return pending_error::fetch_resuming_panic();
  }
  for (Py_ssize_t i = 0; i < count; ++i) {
    py_ref text = text_object(texts[static_cast<std::size_t>(i)]);
    if (!text) {
      return pending_error::fetch_resuming_panic();
    }
    if (make_tuple) {
      PyTuple_SET_ITEM(sequence.get(), i, text.release());
    } else {
      PyList_SET_ITEM(sequence.get(), i, text.release());
    }
  }
  return sequence;
}

} // namespace

py_ref text_object(std::string_view text) {
  return py_ref::steal(
      PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

// A str's UTF-8 text, which lives as long as the str.
result<std::string_view> utf8_of(PyObject* text) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text, &size);
  if (data == nullptr) {
    return pending_error::fetch_resuming_panic();
  }
  return std::string_view(data, static_cast<std::size_t>(size));
}

result<system_path> system_path_of(PyObject* path) {
  const bool is_bytes = PyBytes_Check(path) != 0;
  if (!is_bytes && PyUnicode_Check(path) == 0) {
    return pending_error::with_message(PyExc_TypeError, "path must be a str or bytes");
  }
  py_ref bytes = is_bytes ? py_ref::borrow(path) : py_ref::steal(PyUnicode_EncodeFSDefault(path));
  if (!bytes) {
    return pending_error::fetch_resuming_panic();
  }
  const std::string_view text(PyBytes_AS_STRING(bytes.get()),
                              static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
  return system_path{.owner = std::move(bytes), .text = text};
}

// The request the arguments make.
result<plot_request> request_of(Py_ssize_t width, PyObject* choices, int keep_block_headers) {
  if (width < 0 || width > static_cast<Py_ssize_t>(UINT32_MAX)) {
    return pending_error::with_message(PyExc_ValueError, "width out of range");
  }
  plot_request request{.width = static_cast<std::uint32_t>(width),
                       .detect_width = width == 0,
                       .keep_block_headers = keep_block_headers != 0,
                       // Fewer, longer reads: a sixth less time on files of many megabytes.
                       .read_size = line_source::large_buffer_size};
  if (choices != Py_None) {
    result<choice_list> list = choices_of(choices);
    if (!list) {
      return list.take_error();
    }
    request.choices = std::move(list.value());
  }
  return request;
}

// (title, names, columns, blocks, block_headers) for the contents read.
result<py_ref> contents_object(plot_contents contents, bool keep_block_headers, py_ref table) {
  const py_ref title = text_object(contents.title);
  result<py_ref> names = texts_object(contents.names, true);
  result<py_ref> headers = keep_block_headers ? texts_object(contents.block_headers, false)
                                              : result<py_ref>(py_ref::borrow(Py_None));
  const py_ref blocks = py_ref::steal(PyLong_FromUnsignedLongLong(contents.blocks));
  if (!title || !blocks) {
    return pending_error::fetch_resuming_panic();
  }
  if (!names || !headers) {
    return (!names ? names : headers).take_error();
  }
  result<py_ref> arrays =
      table ? result<py_ref>(std::move(table)) : float_arrays(std::move(contents.data));
  if (!arrays) {
    return arrays;
  }
  py_ref tuple =
      py_ref::steal(PyTuple_Pack(5, title.get(), names.value().get(), arrays.value().get(),
                                 blocks.get(), headers.value().get()));
  if (!tuple) {
    return pending_error::fetch_resuming_panic();
  }
  return tuple;
}

} // namespace korvane::binding
