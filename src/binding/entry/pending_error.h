// src/binding/entry/pending_error.h: interpreter exceptions held by the binding layer until raised
#pragma once

#include "py_ref.h"

#include <korvane/string.h>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>

namespace korvane::binding {

/// An exception as the interpreter holds it: type, value and traceback (which may be absent).
struct normalized_exception {
  py_ref type;
  py_ref value;
  py_ref traceback;
};

/// An interpreter exception held before it is raised: lazy (a type and the makings of its
/// argument) or normalized; moved, never copied.
class pending_error {
public:
  /// What a lazy error builds as its exception's argument.
  enum class argument_form {
    message,       ///< the message as a str
    message_tuple, ///< a one-element tuple holding the message as a str
    none,          ///< None
  };

  /// A lazy error of the given type, its argument built from message when needed.
  [[nodiscard]] static pending_error lazy(py_ref type, argument_form form, string message);
  /// A lazy error of a built-in exception type (borrowed) whose argument is the message.
  [[nodiscard]] static pending_error with_message(PyObject* type, std::string_view message);
  /// The interpreter's current exception, normalized and cleared; nothing when none is set. A
  /// PanicException is not returned: the fatal failure it carried is resumed (raised again).
  [[nodiscard]] static std::optional<pending_error> take_resuming_panic();
  /// The interpreter's exception after a failed call; a SystemError when none is set. A
  /// PanicException resumes its fatal failure, as in take_resuming_panic.
  [[nodiscard]] static pending_error fetch_resuming_panic();

  /// Makes the error the interpreter's current exception.
  void restore() &&;
  /// The error's type, value and traceback, normalizing a lazy error once.
  const normalized_exception& make_normalized();
  /// A new reference to the exception value, with its traceback attached.
  [[nodiscard]] py_ref into_value() &&;
  /// The value's __cause__ as a pending error, or nothing.
  [[nodiscard]] std::optional<pending_error> cause();
  /// Sets the value's __cause__ to the cause's value, or clears it for nothing.
  void set_cause(std::optional<pending_error> cause);
  /// "PyErr { type: ..., value: ..., traceback: ... }" with the interpreter's repr() texts.
  [[nodiscard]] string debug_description();

private:
  struct lazy_exception {
    py_ref type;
    argument_form form = argument_form::message;
    string message;
  };

  explicit pending_error(lazy_exception lazy) noexcept : lazy_(std::move(lazy)) {}
  explicit pending_error(normalized_exception normalized) noexcept
      : normalized_(std::move(normalized)), is_normalized_(true) {}

  // The lazy form until normalization fills the normalized one.
  lazy_exception lazy_;
  normalized_exception normalized_;
  bool is_normalized_ = false;
};

/// The value of a binding operation, or the pending error that stopped it.
template <class T>
class [[nodiscard]] result {
public:
  result(T value) : state_(std::move(value)) {}
  result(pending_error error) : state_(std::move(error)) {}

  /// Whether the operation succeeded.
  explicit operator bool() const noexcept { return state_.index() == 0; }
  /// The value of a successful operation.
  [[nodiscard]] T& value() noexcept { return *std::get_if<0>(&state_); }
  /// The error of a failed operation, moved out.
  [[nodiscard]] pending_error take_error() noexcept { return std::move(*std::get_if<1>(&state_)); }

private:
  std::variant<T, pending_error> state_;
};

/// The outcome of a binding operation without a value: nothing, or the pending error.
template <>
class [[nodiscard]] result<void> {
public:
  result() noexcept = default;
  result(pending_error error) : error_(std::move(error)) {}

  /// Whether the operation succeeded.
  explicit operator bool() const noexcept { return !error_.has_value(); }
  /// The error of a failed operation, moved out.
  [[nodiscard]] pending_error take_error() noexcept { return std::move(*error_); }

private:
  std::optional<pending_error> error_;
};

} // namespace korvane::binding
