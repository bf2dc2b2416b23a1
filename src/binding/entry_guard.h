// src/binding/entry_guard.h: the protected region and failure trap around each entry point
#pragma once

#include "exception_type.h"
#include "failure/entry.h"

#include <korvane/read_failure.h>
#include <optional>

namespace korvane::binding {

/// What an entry does after raising a PanicException when it adds nothing to it.
struct leave_panic_as_raised {
  /// Does nothing.
  void operator()(const read_site&) const noexcept {}
};

/// Runs body (returning a result) and hands a successful one to on_success. A pending error is
/// raised and a fatal failure is raised as PanicException, which on_panic then sees together
/// with the failure's site; both give failure_result. A failure while raising, or anything but
/// a fatal failure, reaches the failure trap.
template <class Body, class OnSuccess, class Outcome, class OnPanic = leave_panic_as_raised>
Outcome guarded_entry(Body&& body, OnSuccess&& on_success, Outcome failure_result,
                      OnPanic on_panic = {}) noexcept {
  bool raising = false;
  std::optional<read_failure> caught;
  // The second pass, if any, raises the PanicException of a failure caught in the first.
  for (;;) {
    try {
      if (caught) {
        panic_error(caught->message()).restore();
        on_panic(caught->site());
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
      caught.emplace(failure);
    } catch (...) {
      failure::ffi_boundary_trap();
    }
  }
}

} // namespace korvane::binding
