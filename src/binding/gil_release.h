// src/binding/gil_release.h: the interpreter lock given up for the length of a scope
#pragma once

#include <Python.h>
#include <unistd.h>

namespace korvane::binding {

/// RAII release of the interpreter lock: other Python threads run until the scope ends, and the
/// lock is taken back on every way out, a failure unwinding through included.
class gil_release {
public:
  /// Gives up the lock held by the calling thread.
  gil_release() noexcept : thread_state_(PyEval_SaveThread()) {}
  gil_release(const gil_release&) = delete;
  gil_release& operator=(const gil_release&) = delete;
  ~gil_release() {
#ifndef PYPY_VERSION
    // Once CPython finalizes, a thread that takes the lock back is ended with pthread_exit,
    // whose unwinding stops at the entry's noexcept frame and aborts the process. The process
    // is about to exit anyway: this thread waits for that instead.
    while (_Py_IsFinalizing()) {
      ::pause();
    }
#endif
    PyEval_RestoreThread(thread_state_);
  }

private:
  PyThreadState* thread_state_;
};

} // namespace korvane::binding
