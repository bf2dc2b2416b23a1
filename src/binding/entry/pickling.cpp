// src/binding/entry/pickling.cpp: where pickle finds the PanicException type
#include "pickling.h"

#include "names.h"

namespace korvane::binding {

result<void> register_for_pickling(PyObject* panic_type) {
  // pickle stores a class as its module and name and looks them up again when loading, in
  // sys.modules first: a module object there serves every process that has imported korvane.
  PyObject* home = PyImport_AddModule(names::panic_type_module);
  if (home == nullptr) {
    return pending_error::fetch_resuming_panic();
  }
  if (PyObject_HasAttrString(home, names::panic_type)) {
    return {};
  }
  if (PyObject_SetAttrString(home, names::panic_type, panic_type) < 0) {
    return pending_error::fetch_resuming_panic();
  }
  return {};
}

} // namespace korvane::binding
