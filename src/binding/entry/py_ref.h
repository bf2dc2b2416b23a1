// src/binding/entry/py_ref.h: owner of one reference to an interpreter object
#pragma once

#include <Python.h>
#include <utility>

namespace korvane::binding {

/// RAII owner of one strong reference (or of nothing), released when the owner goes.
class py_ref {
public:
  /// Owns nothing.
  py_ref() noexcept = default;
  py_ref(const py_ref&) = delete;
  py_ref& operator=(const py_ref&) = delete;
  /// Takes over the other owner's reference.
  py_ref(py_ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  /// Releases the held reference, then takes over the other owner's.
  py_ref& operator=(py_ref&& other) noexcept {
    py_ref taken(std::move(other));
    std::swap(object_, taken.object_);
    return *this;
  }
  ~py_ref() { Py_XDECREF(object_); }

  /// Takes over a new reference (or null) returned by the interpreter.
  [[nodiscard]] static py_ref steal(PyObject* object) noexcept { return py_ref(object); }
  /// Adds a reference of its own to a borrowed object (or null).
  [[nodiscard]] static py_ref borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return py_ref(object);
  }

  /// The object, still owned.
  [[nodiscard]] PyObject* get() const noexcept { return object_; }
  /// Hands the reference over to the caller; the owner is left empty.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  /// Whether an object is held.
  explicit operator bool() const noexcept { return object_ != nullptr; }

private:
  explicit py_ref(PyObject* object) noexcept : object_(object) {}

  PyObject* object_ = nullptr;
};

} // namespace korvane::binding
