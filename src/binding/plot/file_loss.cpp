// src/binding/plot/file_loss.cpp: a file held open that no longer holds what was read of it
#include "file_loss.h"

#include "binding/entry/py_ref.h"
#include "plot_objects.h"
#include "plot_surface.h"
#include "text/number_text.h"

#include <cerrno>

namespace korvane::binding {

std::optional<file_loss> lost_track(std::string_view path_text, const posix::file_facts& identity,
                                    const posix::file_facts& now, std::uint64_t bytes_read) {
  const string path(path_text);
  const std::optional<posix::file_facts> at_path = posix::facts_at(path.c_str());
  const int error = at_path ? ESTALE : errno;
  if (!at_path || at_path->device != identity.device || at_path->inode != identity.inode) {
    return file_loss{
        string("the file followed is no longer at its path: it was replaced or removed"), error};
  }
  if (now.size < bytes_read) {
    string message("the file shrank to ");
    text::append_number(message, now.size);
    message.append(" bytes, below the ");
    text::append_number(message, bytes_read);
    message.append(" bytes already read");
    return file_loss{std::move(message), ESTALE};
  }
  return std::nullopt;
}

pending_error follow_error(PyObject* path, const file_loss& loss) {
  const py_ref text = text_object(loss.message);
  const py_ref error_number = py_ref::steal(PyLong_FromLong(loss.error));
  const py_ref error = py_ref::steal(
      text && error_number ? PyObject_CallFunctionObjArgs(follow_error_type(), text.get(), path,
                                                          error_number.get(), nullptr)
                           : nullptr);
  if (error) {
    PyErr_SetObject(follow_error_type(), error.get());
  }
  return pending_error::fetch_resuming_panic();
}

pending_error os_error(PyObject* path) {
  PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
  return pending_error::fetch_resuming_panic();
}

} // namespace korvane::binding
