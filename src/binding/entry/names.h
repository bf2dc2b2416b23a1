// src/binding/entry/names.h: the names Python code sees
#pragma once

#include <string_view>

namespace korvane::binding::names {

/// The module's import name.
inline constexpr const char* module = "korvane";
/// The one function of the module.
inline constexpr std::string_view function = "rust_read_tolvera";
/// The function's first parameter.
inline constexpr std::string_view file_path = "file_path";
/// The function's second parameter.
inline constexpr std::string_view n_digits = "n_digits";
/// The module attribute holding the exception type of fatal failures.
inline constexpr const char* panic_type = "PanicException";
/// The module the exception type names as its own, where pickle looks it up by panic_type.
inline constexpr const char* panic_type_module = "pyo3_runtime";
/// The exception type's full name, module and type name.
inline constexpr const char* panic_type_qualified = "pyo3_runtime.PanicException";
/// The exception attribute holding the list of notes shown under a traceback.
inline constexpr const char* notes = "__notes__";

} // namespace korvane::binding::names
