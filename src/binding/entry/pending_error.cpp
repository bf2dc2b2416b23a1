// src/binding/entry/pending_error.cpp: holding, normalizing, taking and raising interpreter
// exceptions
#include "pending_error.h"

#include "exception_type.h"
#include "failure/entry.h"
#include "non_null.h"
#include "text/escape.h"
#include "type_names.h"

namespace korvane::binding {

namespace {

py_ref build_argument(pending_error::argument_form form, const string& message) {
  if (form == pending_error::argument_form::none) {
    return py_ref::borrow(Py_None);
  }
  py_ref text = py_ref::steal(non_null(
      PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size()))));
  if (form == pending_error::argument_form::message) {
    return text;
  }
  py_ref tuple = py_ref::steal(non_null(PyTuple_New(1)));
  PyTuple_SetItem(tuple.get(), 0, text.release());
  return tuple;
}

normalized_exception fetch_normalized() noexcept {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type != nullptr) {
    PyErr_NormalizeException(&type, &value, &traceback);
  }
  // PyPy hands out None, not null, for a missing traceback.
  if (traceback == Py_None) {
    Py_DECREF(traceback);
    traceback = nullptr;
  }
  return {py_ref::steal(type), py_ref::steal(value), py_ref::steal(traceback)};
}

bool is_panic(const normalized_exception& fetched) noexcept {
  PyObject* panic_type = existing_panic_exception_type();
  return panic_type != nullptr && fetched.value &&
         reinterpret_cast<PyObject*>(Py_TYPE(fetched.value.get())) == panic_type;
}

// The UTF-8 of a str the interpreter just made, or the fallback when it could not make it.
string text_or(const py_ref& text, std::string_view fallback) {
  if (!text) {
    PyErr_Clear();
    return string(fallback);
  }
  return utf8_text(text.get());
}

string panic_message(PyObject* value) {
  return text_or(py_ref::steal(PyObject_Str(value)), "Unwrapped panic from Python code");
}

// A PanicException coming back from Python code is the continuation of an earlier failure: the
// interpreter prints it with its traceback, and the failure travels on with the same message.
[[noreturn]] void resume_panic(normalized_exception fetched) {
  string message = panic_message(fetched.value.get());
  failure::write_resume_banner();
  PyErr_Restore(fetched.type.release(), fetched.value.release(), fetched.traceback.release());
  PyErr_PrintEx(0);
  failure::resume_failure(std::move(message));
}

string repr_text(PyObject* object) {
  return text_or(py_ref::steal(PyObject_Repr(object)), "<unrepresentable object>");
}

// The traceback as the interpreter's traceback module formats it.
string traceback_text(PyObject* traceback) {
  const py_ref module = py_ref::steal(PyImport_ImportModule("traceback"));
  const py_ref lines =
      module ? py_ref::steal(PyObject_CallMethod(module.get(), "format_tb", "O", traceback))
             : py_ref();
  const py_ref separator = py_ref::steal(PyUnicode_FromStringAndSize("", 0));
  const py_ref text =
      lines && separator ? py_ref::steal(PyUnicode_Join(separator.get(), lines.get())) : py_ref();
  return text_or(text, "<traceback unavailable>");
}

} // namespace

pending_error pending_error::lazy(py_ref type, argument_form form, string message) {
  return pending_error(lazy_exception{std::move(type), form, std::move(message)});
}

pending_error pending_error::with_message(PyObject* type, std::string_view message) {
  return lazy(py_ref::borrow(type), argument_form::message, string(message));
}

std::optional<pending_error> pending_error::take_resuming_panic() {
  normalized_exception fetched = fetch_normalized();
  if (!fetched.type) {
    return std::nullopt;
  }
  if (is_panic(fetched)) {
    resume_panic(std::move(fetched));
  }
  return pending_error(std::move(fetched));
}

pending_error pending_error::fetch_resuming_panic() {
  std::optional<pending_error> taken = take_resuming_panic();
  if (taken) {
    return std::move(*taken);
  }
  return with_message(PyExc_SystemError, "attempted to fetch exception but none was set");
}

const normalized_exception& pending_error::make_normalized() {
  if (!is_normalized_) {
    const py_ref argument = build_argument(lazy_.form, lazy_.message);
    if (PyExceptionClass_Check(lazy_.type.get())) {
      PyErr_SetObject(lazy_.type.get(), argument.get());
    } else {
      PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
    }
    lazy_ = lazy_exception{};
    normalized_ = fetch_normalized();
    is_normalized_ = true;
  }
  return normalized_;
}

void pending_error::restore() && {
  make_normalized();
  PyErr_Restore(normalized_.type.release(), normalized_.value.release(),
                normalized_.traceback.release());
}

py_ref pending_error::into_value() && {
  make_normalized();
  if (normalized_.traceback) {
    PyException_SetTraceback(normalized_.value.get(), normalized_.traceback.get());
  }
  return std::move(normalized_.value);
}

std::optional<pending_error> pending_error::cause() {
  py_ref cause = py_ref::steal(PyException_GetCause(make_normalized().value.get()));
  if (!cause) {
    return std::nullopt;
  }
  if (PyExceptionInstance_Check(cause.get())) {
    py_ref type = py_ref::borrow(reinterpret_cast<PyObject*>(Py_TYPE(cause.get())));
    py_ref traceback = py_ref::steal(PyException_GetTraceback(cause.get()));
    return pending_error(
        normalized_exception{std::move(type), std::move(cause), std::move(traceback)});
  }
  return lazy(std::move(cause), argument_form::none, string());
}

void pending_error::set_cause(std::optional<pending_error> cause) {
  PyObject* value = make_normalized().value.get();
  // PyException_SetCause takes over the reference to the cause.
  PyException_SetCause(value, cause ? std::move(*cause).into_value().release() : nullptr);
}

string pending_error::debug_description() {
  const normalized_exception& normalized = make_normalized();
  string out = "PyErr { type: ";
  out += repr_text(normalized.type.get());
  out += ", value: ";
  out += repr_text(normalized.value.get());
  out += ", traceback: ";
  if (normalized.traceback) {
    out += "Some(";
    text::append_quoted(out, traceback_text(normalized.traceback.get()));
    out += ")";
  } else {
    out += "None";
  }
  out += " }";
  return out;
}

} // namespace korvane::binding
