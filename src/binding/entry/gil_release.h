// src/binding/entry/gil_release.h: work done with the interpreter lock given up
#pragma once

#include "failure/entry.h"
#include "pending_error.h"
#include "posix.h"

#include <Python.h>
#include <exception>
#include <optional>
#include <utility>

namespace korvane::binding {

/// The check a reader on the calling thread asks whether to stop: it takes the interpreter lock
/// back for a moment and runs the signal handlers due, and says to stop when one raised, leaving
/// its exception set; after an interrupted system call every time, after progress at most every
/// 50 ms. None on threads other than the process's main thread, where the interpreters run no
/// handlers and the check could only wait for the lock.
[[nodiscard]] posix::stop_check signal_check() noexcept;

namespace detail {

/// Gives up the calling thread's interpreter lock, keeping its state for signal checks and for
/// take_back_lock.
void give_up_lock() noexcept;
/// Takes the lock back. Once CPython finalizes, a thread taking it back is ended by pthread_exit,
/// whose forced unwinding starts here and passes every frame up to the interpreter's
/// (entry_guard.h).
void take_back_lock();
/// For a catch-all around work done without the lock: the exception being handled, to be thrown
/// again once the lock is back; a thread's forced unwinding is rethrown at once instead.
[[nodiscard]] std::exception_ptr hold_unless_forced_unwind();

} // namespace detail

/// Runs work, which touches no interpreter object, with the interpreter lock given up, and
/// returns its value once the lock is back; a failure of the work is thrown then. The lock is
/// never taken back while an exception unwinds: a forced unwinding begun there would end the
/// process. When a signal check (signal_check) stopped the work, the result is the exception a
/// signal handler raised instead.
template <class Work>
auto without_interpreter_lock(Work&& work) -> result<decltype(work())> {
  failure::prepare_thread_for_failures();
  std::optional<decltype(work())> value;
  std::exception_ptr failure;
  detail::give_up_lock();
  try {
    value.emplace(std::forward<Work>(work)());
  } catch (...) {
    failure = detail::hold_unless_forced_unwind();
  }
  detail::take_back_lock();
  if (PyErr_Occurred() != nullptr) {
    return pending_error::fetch_resuming_panic();
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
  return std::move(*value);
}

} // namespace korvane::binding
