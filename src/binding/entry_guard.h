// src/binding/entry_guard.h: the protected region and failure trap around each entry point
#pragma once

#include "exception_type.h"
#include "failure/entry.h"

#include <korvane/read_failure.h>
#include <optional>

namespace korvane::binding {

/// Runs body (returning a result) and hands a successful one to on_success. A pending error is
/// raised and a fatal failure is raised as PanicException; both give failure_result. A
/// failure while raising, or anything but a fatal failure, reaches the failure trap.
template <class Body, class OnSuccess, class Outcome>
Outcome guarded_entry(Body&& body, OnSuccess&& on_success, Outcome failure_result) noexcept {
  bool raising = false;
  std::optional<string> failure_message;
  // The second pass, if any, raises the PanicException of a failure caught in the first.
  for (;;) {
    try {
      if (failure_message) {
        panic_error(*failure_message).restore();
        return failure_result;
      }
      auto outcome = body();
      raising = true;
      if (outcome) {
        return on_success(outcome);
      }
      outcome.take_error().restore();
      return failure_result;
    } catch (const read_failure& failure) {
      if (raising) {
        failure::ffi_boundary_trap();
      }
      raising = true;
      failure_message.emplace(failure.message());
    } catch (...) {
      failure::ffi_boundary_trap();
    }
  }
}

} // namespace korvane::binding
