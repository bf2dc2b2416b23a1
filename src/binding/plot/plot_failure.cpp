// src/binding/plot/plot_failure.cpp: a failed read of read_plot raised as Python raises such
// failures
#include "plot_failure.h"

#include "binding/entry/failure_place.h"
#include "binding/entry/py_ref.h"
#include "failure/entry.h"
#include "plot_objects.h"
#include "plot_surface.h"
#include "text/float_parse.h"
#include "text/number_text.h"

#include <cerrno>
#include <optional>

namespace korvane::binding {

namespace {

// What is wrong with the content, in words a user can act on; the failure's own message for the
// kinds whose message is written for them.
string format_message(const read_failure& failure) {
  const read_site& site = failure.site();
  switch (site.kind) {
  case failure_kind::compressed:
    return "the file is compressed (it starts as gzip output does): decompress it first";
  case failure_kind::cannot_read:
    return "the line is not valid UTF-8 text";
  case failure_kind::empty_file:
    return "the file is empty: a plot file starts with a line that ends with the number of "
           "parameters";
  case failure_kind::bad_parameter_count:
    return "the first line does not end with the number of parameters";
  case failure_kind::missing_name:
    return "the file ends before the last parameter name";
  case failure_kind::missing_data_line: {
    string message("the file ends inside block ");
    text::append_number(message, site.block);
    message.append(", whose data lines are incomplete; the last complete block is ");
    text::append_number(message, site.block - 1);
    message.append(" (korvane.follow reads the complete blocks of a file still being written, "
                   "or left unfinished)");
    return message;
  }
  case failure_kind::field_outside_line: {
    string message = field_place(site);
    if (site.field_end > site.line_length) {
      message.append(" lies beyond the end of the line, which is ");
      text::append_number(message, site.line_length);
      message.append(" bytes long");
    } else {
      message.append(" starts or ends inside a character");
    }
    message.append(width_hint(site));
    return message;
  }
  case failure_kind::bad_field: {
    // The message ends with the conversion's error, which tells a blank field from others.
    const bool blank = failure.message().ends_with(text::describe(text::float_error::empty));
    string message = field_place(site);
    message.append(blank ? " is blank" : " is not a number");
    message.append(width_hint(site));
    return message;
  }
  default:
    return failure.message();
  }
}

// A new int, or None for a number 0 that stands for no number.
py_ref number_or_none(std::uint64_t number) {
  return number == 0 ? py_ref::borrow(Py_None) : py_ref::steal(PyLong_FromUnsignedLongLong(number));
}

void raise_format_error(const read_failure& failure, PyObject* path) {
  const read_site& site = failure.site();
  const py_ref message = text_object(format_message(failure));
  const py_ref line = number_or_none(site.line_number);
  // A line cut off by the input's end is reported as the missing rest of its block, no field.
  const bool names_field = site.has_field && site.kind != failure_kind::missing_data_line;
  const py_ref field = number_or_none(names_field ? site.field_index + 1 : 0);
  if (!message || !line || !field) {
    return;
  }
  const py_ref error = py_ref::steal(PyObject_CallFunctionObjArgs(
      plot_format_error_type(), message.get(), path, line.get(), field.get(), nullptr));
  if (error) {
    PyErr_SetObject(plot_format_error_type(), error.get());
  }
}

// An error of the system as OSError with errno, strerror and filename, as open() raises it.
void raise_os_error(int code, PyObject* path) {
  errno = code;
  PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
}

void raise_io_failure(const read_failure& failure, PyObject* path) {
  const io_error& error = failure.error();
  if (error.is_os()) {
    raise_os_error(error.os_code(), path);
  } else if (failure.site().kind == failure_kind::cannot_open) {
    // The one such error: a NUL byte in the path, which open() refuses with these words.
    PyErr_SetString(PyExc_ValueError, "embedded null byte");
  } else {
    raise_format_error(failure, path);
  }
}

void raise_with_message(PyObject* type, const read_failure& failure) {
  if (const py_ref message = text_object(failure.message())) {
    PyErr_SetObject(type, message.get());
  }
}

// The exception type of a failure whose own message says all: a choice of parameters the file
// cannot meet, or a fault of the reader; null for the others.
PyObject* told_failure_type(failure_kind kind) {
  switch (kind) {
  case failure_kind::unknown_name:
    return PyExc_KeyError;
  case failure_kind::position_out_of_range:
    return PyExc_IndexError;
  case failure_kind::repeated_choice:
    return PyExc_ValueError;
  case failure_kind::internal:
    return PyExc_RuntimeError;
  default:
    return nullptr;
  }
}

} // namespace

void raise_plot_failure(const read_failure& failure, PyObject* path) noexcept {
  try {
    if (PyObject* type = told_failure_type(failure.site().kind)) {
      raise_with_message(type, failure);
      return;
    }
    switch (failure.site().kind) {
    case failure_kind::cannot_open:
    case failure_kind::cannot_read:
      raise_io_failure(failure, path);
      return;
    case failure_kind::out_of_memory:
      PyErr_NoMemory();
      return;
    default:
      raise_format_error(failure, path);
    }
  } catch (...) {
    failure::ffi_boundary_trap();
  }
}

} // namespace korvane::binding
