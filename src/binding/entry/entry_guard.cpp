// src/binding/entry/entry_guard.cpp: raising a fatal failure as PanicException at the entry point
#include "entry_guard.h"

#include "exception_type.h"

#include <cxxabi.h>

namespace korvane::binding {

void raise_panic(std::string_view message) noexcept {
  try {
    panic_error(message).restore();
  } catch (...) {
    failure::ffi_boundary_trap();
  }
}

// The forced unwinding carries no C++ object: its handler binds a reference to none, which the
// sanitizer's check of reference bindings would take for a defect.
__attribute__((no_sanitize("null"))) void trap_unless_forced_unwind() {
  try {
    throw;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    failure::ffi_boundary_trap();
  }
}

} // namespace korvane::binding
