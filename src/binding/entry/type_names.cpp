// src/binding/entry/type_names.cpp: texts of interpreter objects inside the binding layer's
// messages
#include "type_names.h"

#include "non_null.h"
#include "py_ref.h"

#include <optional>

namespace korvane::binding {

namespace {

// A type's __qualname__ or __name__, read as an attribute: the interpreter has no C function
// for either.
std::optional<string> type_attribute(PyTypeObject* type, const char* attribute) {
  const py_ref name =
      py_ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), attribute));
  if (!name || !PyUnicode_Check(name.get())) {
    PyErr_Clear();
    return std::nullopt;
  }
  return utf8_text(name.get());
}

string expected_type_name(PyTypeObject* expected) {
  if (expected == Py_TYPE(Py_None)) {
    return string("None");
  }
  return type_attribute(expected, "__qualname__").value_or(string("<failed to extract type name>"));
}

} // namespace

string utf8_text(PyObject* text) {
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(text, &size)) {
    return string(data, static_cast<std::size_t>(size));
  }
  // Unpaired surrogates: encode them as they stand, then let the UTF-8 decoder replace them.
  PyErr_Clear();
  const py_ref bytes =
      py_ref::steal(non_null(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass")));
  const py_ref replaced = py_ref::steal(non_null(
      PyUnicode_DecodeUTF8(PyBytes_AsString(bytes.get()), PyBytes_Size(bytes.get()), "replace")));
  const char* data = PyUnicode_AsUTF8AndSize(replaced.get(), &size);
  if (data == nullptr) {
    raise_null_object();
  }
  return string(data, static_cast<std::size_t>(size));
}

string display_text(PyObject* object) {
  const py_ref text = py_ref::steal(PyObject_Str(object));
  if (text) {
    return utf8_text(text.get());
  }
  PyErr_WriteUnraisable(object);
  const std::optional<string> type_name = type_attribute(Py_TYPE(object), "__name__");
  if (!type_name) {
    return string("<unprintable object>");
  }
  string out = "<unprintable ";
  out += *type_name;
  out += " object>";
  return out;
}

string type_mismatch_message(PyObject* object, PyTypeObject* expected) {
  const bool is_none = object == Py_None;
  const string object_name = is_none ? string("None")
                                     : type_attribute(Py_TYPE(object), "__qualname__")
                                           .value_or(string("<failed to extract type name>"));
  string out;
  out.append("'").append(object_name);
  out.append(is_none ? "' is not an instance of '" : "' object is not an instance of '");
  out.append(expected_type_name(expected)).append("'");
  return out;
}

} // namespace korvane::binding
