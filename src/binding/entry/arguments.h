// src/binding/entry/arguments.h: binding a call's arguments to parameters and converting them
#pragma once

#include "pending_error.h"

#include <Python.h>
#include <cstdint>
#include <span>
#include <string_view>

namespace korvane::binding {

/// A function's name and its parameters, all positional-or-keyword and all required.
struct function_description {
  std::string_view function_name;
  std::span<const std::string_view> parameter_names;
};

/// Fills one borrowed slot per parameter from a fastcall argument vector and keyword names.
[[nodiscard]] result<void> extract_arguments_fastcall(const function_description& description,
                                                      PyObject* const* arguments,
                                                      Py_ssize_t positional_count,
                                                      PyObject* keyword_names,
                                                      std::span<PyObject*> slots);

/// A conversion error of one argument: a TypeError is restated as "argument 'P': ...".
[[nodiscard]] pending_error argument_extraction_error(std::string_view parameter,
                                                      pending_error error);

/// The UTF-8 text of a str argument, borrowed from the str itself.
[[nodiscard]] result<std::string_view> text_argument(PyObject* argument);

/// An int argument (or one with __index__) that fits in 32 unsigned bits.
[[nodiscard]] result<std::uint32_t> unsigned_32_argument(PyObject* argument);

} // namespace korvane::binding
