// src/binding/entry/type_names.h: texts of interpreter objects inside the binding layer's messages
#pragma once

#include <Python.h>
#include <korvane/string.h>

namespace korvane::binding {

/// The UTF-8 text of a str; unpaired surrogates come out as U+FFFD.
[[nodiscard]] string utf8_text(PyObject* text);

/// str() of the object for a message; "<unprintable T object>" when str() fails.
[[nodiscard]] string display_text(PyObject* object);

/// "'T' object is not an instance of 'E'" (or "'None' is not an instance of 'E'").
[[nodiscard]] string type_mismatch_message(PyObject* object, PyTypeObject* expected);

} // namespace korvane::binding
