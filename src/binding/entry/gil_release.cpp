// src/binding/entry/gil_release.cpp: the interpreter lock given up and taken back, and signals
// checked meanwhile
#include "gil_release.h"

#include <chrono>
#include <cxxabi.h>
#include <unistd.h>

namespace korvane::binding {

namespace {

// The state of the calling thread while its lock is given up; null otherwise.
thread_local PyThreadState* released_state = nullptr;

// Runs the signal handlers due; -1 with the exception set when one raised.
int check_signals() {
#ifdef PYPY_VERSION
  // PyPy's PyErr_CheckSignals does nothing; signal.pthread_kill runs the handlers due after
  // sending, and signal 0 sends nothing.
  const py_ref signal_module = py_ref::steal(PyImport_ImportModule("signal"));
  const py_ref sent =
      py_ref::steal(signal_module ? PyObject_CallMethod(signal_module.get(), "pthread_kill", "ki",
                                                        PyThread_get_thread_ident(), 0)
                                  : nullptr);
  return sent ? 0 : -1;
#else
  return PyErr_CheckSignals();
#endif
}

// Taking the lock back waits, while another thread runs Python code, until that thread gives it
// up: up to the switch interval (5 ms on CPython). After progress alone it is taken back at most
// once in this period, which keeps that wait a small part of a long read.
constexpr std::chrono::milliseconds progress_check_period{50};

thread_local std::chrono::steady_clock::time_point last_check{};

bool signal_handler_raised(posix::stop_reason why) {
  const auto now = std::chrono::steady_clock::now();
  if (why == posix::stop_reason::progress && now - last_check < progress_check_period) {
    return false;
  }
  last_check = now;
  detail::take_back_lock();
  const bool raised = check_signals() != 0;
  detail::give_up_lock();
  return raised;
}

} // namespace

posix::stop_check signal_check() noexcept {
  return gettid() == getpid() ? &signal_handler_raised : nullptr;
}

namespace detail {

void give_up_lock() noexcept {
  released_state = PyEval_SaveThread();
}

void take_back_lock() {
  PyEval_RestoreThread(std::exchange(released_state, nullptr));
}

// The forced unwinding carries no C++ object: its handler binds a reference to none, which the
// sanitizer's check of reference bindings would take for a defect.
__attribute__((no_sanitize("null"))) std::exception_ptr hold_unless_forced_unwind() {
  try {
    throw;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return std::current_exception();
  }
}

} // namespace detail

} // namespace korvane::binding
