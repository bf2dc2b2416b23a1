// src/binding/gil_release.h: the interpreter lock given up for the length of a scope
#pragma once

#include <Python.h>

namespace korvane::binding {

/// RAII release of the interpreter lock: other Python threads run until the scope ends, and the
/// lock is taken back on every way out, a failure unwinding through included.
class gil_release {
public:
  /// Gives up the lock held by the calling thread.
  gil_release() noexcept : thread_state_(PyEval_SaveThread()) {}
  gil_release(const gil_release&) = delete;
  gil_release& operator=(const gil_release&) = delete;
  /// Takes the lock back. Once CPython finalizes, a thread taking it back is ended by
  /// pthread_exit, whose forced unwinding starts here: the destructor lets it pass, and so does
  /// every frame up to the interpreter's (entry_guard.h).
  ~gil_release() noexcept(false) { PyEval_RestoreThread(thread_state_); }

private:
  PyThreadState* thread_state_;
};

} // namespace korvane::binding
