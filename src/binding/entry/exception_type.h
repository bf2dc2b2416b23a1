// src/binding/entry/exception_type.h: the PanicException type, as which fatal failures reach Python
#pragma once

#include "pending_error.h"

#include <Python.h>
#include <string_view>

namespace korvane::binding {

/// The PanicException type (borrowed), created on first use and kept for the whole process.
[[nodiscard]] PyObject* panic_exception_type();

/// The PanicException type if it exists already, else null; never creates it.
[[nodiscard]] PyObject* existing_panic_exception_type() noexcept;

/// A pending PanicException whose single argument is the message.
[[nodiscard]] pending_error panic_error(std::string_view message);

} // namespace korvane::binding
