// src/binding/entry/arguments.cpp: binding a call's arguments to parameters and converting them
#include "arguments.h"

#include "text/number_text.h"
#include "type_names.h"

#include <limits>
#include <vector>

namespace korvane::binding {

namespace {

string full_name(const function_description& description) {
  string out(description.function_name);
  out += "()";
  return out;
}

pending_error too_many_positional(const function_description& description,
                                  Py_ssize_t positional_count) {
  string message = full_name(description);
  message += " takes ";
  text::append_number(message, description.parameter_names.size());
  message += " positional arguments but ";
  text::append_number(message, positional_count);
  message += " were given";
  return pending_error::with_message(PyExc_TypeError, message);
}

pending_error unexpected_keyword(const function_description& description, PyObject* name) {
  string message = full_name(description);
  message += " got an unexpected keyword argument '";
  message += display_text(name);
  message += "'";
  return pending_error::with_message(PyExc_TypeError, message);
}

pending_error multiple_values(const function_description& description, std::string_view name) {
  string message = full_name(description);
  message += " got multiple values for argument '";
  message += name;
  message += "'";
  return pending_error::with_message(PyExc_TypeError, message);
}

// 'a' for one name, 'a' and 'b' for two, 'a', 'b' and 'c' for more.
void push_parameter_list(string& out, std::span<const std::string_view> names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      out += i + 1 == names.size() ? " and " : ", ";
    }
    out += "'";
    out += names[i];
    out += "'";
  }
}

pending_error missing_required(const function_description& description,
                               std::span<PyObject*> slots) {
  std::vector<std::string_view, checked_allocator<std::string_view>> missing;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (slots[i] == nullptr) {
      missing.push_back(description.parameter_names[i]);
    }
  }
  string message = full_name(description);
  message += " missing ";
  text::append_number(message, missing.size());
  message += " required positional ";
  message += missing.size() == 1 ? "argument" : "arguments";
  message += ": ";
  push_parameter_list(message, missing);
  return pending_error::with_message(PyExc_TypeError, message);
}

// The index of the parameter called name, or the number of parameters for none.
std::size_t parameter_index(const function_description& description, std::string_view name) {
  std::size_t index = 0;
  while (index < description.parameter_names.size() && description.parameter_names[index] != name) {
    ++index;
  }
  return index;
}

result<void> bind_keywords(const function_description& description, PyObject* const* values,
                           PyObject* keyword_names, std::span<PyObject*> slots) {
  const Py_ssize_t count = PyTuple_Size(keyword_names);
  for (Py_ssize_t k = 0; k < count; ++k) {
    PyObject* name = PyTuple_GetItem(keyword_names, k);
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(name, &size);
    if (text == nullptr) {
      PyErr_Clear();
      return unexpected_keyword(description, name);
    }
    const std::string_view keyword(text, static_cast<std::size_t>(size));
    const std::size_t j = parameter_index(description, keyword);
    if (j == slots.size()) {
      return unexpected_keyword(description, name);
    }
    if (slots[j] != nullptr) {
      return multiple_values(description, keyword);
    }
    slots[j] = values[k];
  }
  return {};
}

} // namespace

result<void> extract_arguments_fastcall(const function_description& description,
                                        PyObject* const* arguments, Py_ssize_t positional_count,
                                        PyObject* keyword_names, std::span<PyObject*> slots) {
  const auto given = static_cast<std::size_t>(positional_count);
  if (given > slots.size()) {
    return too_many_positional(description, positional_count);
  }
  for (std::size_t i = 0; i < given; ++i) {
    slots[i] = arguments[i];
  }
  if (keyword_names != nullptr) {
    // The value for keyword name k follows the positional arguments, at index nargs + k.
    result<void> bound = bind_keywords(description, arguments + given, keyword_names, slots);
    if (!bound) {
      return bound;
    }
  }
  for (PyObject* slot : slots) {
    if (slot == nullptr) {
      return missing_required(description, slots);
    }
  }
  return {};
}

pending_error argument_extraction_error(std::string_view parameter, pending_error error) {
  if (error.make_normalized().type.get() != PyExc_TypeError) {
    return error;
  }
  string message = "argument '";
  message += parameter;
  message += "': ";
  message += display_text(error.make_normalized().value.get());
  pending_error restated = pending_error::with_message(PyExc_TypeError, message);
  restated.set_cause(error.cause());
  return restated;
}

result<std::string_view> text_argument(PyObject* argument) {
  if (!PyUnicode_Check(argument)) {
    return pending_error::with_message(PyExc_TypeError,
                                       type_mismatch_message(argument, &PyUnicode_Type));
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(argument, &size);
  if (text == nullptr) {
    return pending_error::fetch_resuming_panic();
  }
  return std::string_view(text, static_cast<std::size_t>(size));
}

result<std::uint32_t> unsigned_32_argument(PyObject* argument) {
  unsigned long long value = 0;
  if (PyLong_Check(argument)) {
    value = PyLong_AsUnsignedLongLong(argument);
  } else {
    const py_ref index = py_ref::steal(PyNumber_Index(argument));
    if (!index) {
      return pending_error::fetch_resuming_panic();
    }
    value = PyLong_AsUnsignedLongLong(index.get());
  }
  // All bits set is both a genuine value and the failure signal.
  if (value == std::numeric_limits<unsigned long long>::max()) {
    if (std::optional<pending_error> error = pending_error::take_resuming_panic()) {
      return std::move(*error);
    }
  }
  if (value > std::numeric_limits<std::uint32_t>::max()) {
    return pending_error::with_message(PyExc_OverflowError,
                                       "out of range integral type conversion attempted");
  }
  return static_cast<std::uint32_t>(value);
}

} // namespace korvane::binding
