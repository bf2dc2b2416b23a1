// src/binding/entry/entry_guard.h: the protected region and failure trap around each entry point
//
// Every call from the interpreter into the binding starts in guarded_entry. The binding's errors
// travel by one of two channels, and the name of what is called tells which:
// - An interpreter exception the caller is meant to see (TypeError, OverflowError, ...) travels
//   as a value. A function that can end in one returns result<T> (or a pending_error); its caller
//   hands it on by returning it, and only guarded_entry makes it the interpreter's exception.
// - A fatal failure travels as the C++ exception read_failure, straight to guarded_entry, which
//   raises it as PanicException. In the binding it starts only at a call whose name says so:
//   raise_failure and raise_null_object; non_null, named for what it guarantees; and
//   pending_error::take_resuming_panic and fetch_resuming_panic, which resume the failure of a
//   PanicException coming back from Python code. (A refused allocation can raise "capacity
//   overflow" anywhere, as in every layer.)
// Anything else that escapes a body is a defect: it meets the failure trap, which aborts.
//
// One unwinding is not an error and passes every entry untouched: the forced unwinding with which
// pthread_exit ends a thread, as CPython does with a thread that takes the interpreter lock back
// while the interpreter finalizes. No frame on its way may be noexcept, and every catch-all
// rethrows it, so that it reaches the interpreter's frames and ends the thread there, with what
// the frames own released on the way.
#pragma once

#include "failure/entry.h"
#include "pending_error.h"

#include <korvane/read_failure.h>
#include <string_view>

namespace korvane::binding {

/// Raises the fatal failure's message as PanicException; a failure while raising it meets the
/// trap.
void raise_panic(std::string_view message) noexcept;

/// For a catch-all around an entry: rethrows the exception being handled when it is a thread's
/// forced unwinding, and meets the failure trap otherwise.
void trap_unless_forced_unwind();

namespace detail {

/// Hands a successful outcome to on_success, or makes the pending error the interpreter's
/// exception and gives failure_result; a failure while doing either meets the trap.
template <class T, class OnSuccess, class Outcome>
Outcome hand_over(result<T>& outcome, OnSuccess& on_success, Outcome failure_result) noexcept {
  try {
    if (outcome) {
      return on_success(outcome);
    }
    outcome.take_error().restore();
  } catch (...) {
    failure::ffi_boundary_trap();
  }
  return failure_result;
}

} // namespace detail

/// How an entry raises a fatal failure when it adds nothing: as PanicException.
struct raise_as_panic {
  /// Raises the failure's message as PanicException.
  void operator()(const read_failure& failure) const noexcept { raise_panic(failure.message()); }
};

/// Runs body (returning a result) and hands a successful one to on_success. A pending error is
/// raised, and a fatal failure is raised by on_failure (noexcept; as PanicException unless the
/// entry chooses otherwise); both give failure_result. Anything but a fatal failure from the
/// body, and any failure while raising, meets the failure trap; a thread's forced unwinding
/// passes.
template <class Body, class OnSuccess, class Outcome, class OnFailure = raise_as_panic>
Outcome guarded_entry(Body&& body, OnSuccess&& on_success, Outcome failure_result,
                      OnFailure on_failure = {}) {
  static_assert(noexcept(on_failure(std::declval<const read_failure&>())));
  try {
    auto outcome = body();
    return detail::hand_over(outcome, on_success, failure_result);
  } catch (const read_failure& failure) {
    on_failure(failure);
  } catch (...) {
    trap_unless_forced_unwind();
  }
  return failure_result;
}

} // namespace korvane::binding
