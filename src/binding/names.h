// src/binding/names.h: the names Python code sees
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

} // namespace korvane::binding::names
