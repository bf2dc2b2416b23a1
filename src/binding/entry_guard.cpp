// src/binding/entry_guard.cpp: raising a fatal failure as PanicException at the entry point
#include "entry_guard.h"

#include "exception_type.h"

namespace korvane::binding {

void raise_panic(std::string_view message) noexcept {
  try {
    panic_error(message).restore();
  } catch (...) {
    failure::ffi_boundary_trap();
  }
}

} // namespace korvane::binding
