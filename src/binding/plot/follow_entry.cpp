// src/binding/plot/follow_entry.cpp: the interpreter's entries into the reader for follow
#include "follow_entry.h"

#include "binding/entry/entry_guard.h"
#include "binding/entry/gil_release.h"
#include "file_loss.h"
#include "held_capsule.h"
#include "lib.h"
#include "plot_failure.h"
#include "plot_objects.h"
#include "plot_surface.h"
#include "posix.h"

#include <cerrno>
#include <memory>
#include <optional>

namespace korvane::binding {

namespace {

constexpr const char* capsule_name = "korvane.follower";

// Why a file cannot be followed (on), and the error number that tells it: the system's, where a
// failed call tells it; ESPIPE for a file that cannot be read again from an offset; ESTALE for a
// file that no longer holds what was read.
using follow_loss = file_loss;

follow_loss not_regular() {
  return {string("cannot follow what is not a regular file (a directory, a FIFO, a socket, a "
                 "device): it cannot be read again from where a read ended"),
          ESPIPE};
}

// A compressed file is read whole, from its start, and cannot be read on from an offset.
follow_loss compressed(compression packing) {
  string message("cannot follow a compressed file (it starts as ");
  message.append(compression_name(packing));
  message.append(" output does): read_plot and open_plot read it whole");
  return {std::move(message), ESPIPE};
}

// A plot file followed: the open file, the file it was when opened, and what its reads keep.
struct follower {
  /// Empty once closed.
  std::optional<posix::file_descriptor> file;
  posix::file_facts identity;
  py_ref path;
  string path_text;
  plot_request request;
  follow_state state;
};

void destroy_follower(PyObject* capsule) {
  delete static_cast<follower*>(PyCapsule_GetPointer(capsule, capsule_name));
}

result<follower*> follower_of(PyObject* capsule) {
  result<follower*> followed = held_in<follower>(capsule, capsule_name);
  if (followed && !followed.value()->file) {
    return pending_error::with_message(PyExc_ValueError, "read of a closed follower");
  }
  return followed;
}

result<py_ref> follow_open_call(PyObject* arguments, PyObject*& path) {
  Py_ssize_t width = 0;
  PyObject* choices = nullptr;
  if (!PyArg_ParseTuple(arguments, "OnO:_follow_open", &path, &width, &choices)) {
    path = nullptr;
    return pending_error::fetch_resuming_panic();
  }
  result<system_path> file_path = system_path_of(path);
  if (!file_path) {
    return file_path.take_error();
  }
  result<plot_request> request = request_of(width, choices, 0);
  if (!request) {
    return request.take_error();
  }
  auto followed = std::make_unique<follower>();
  followed->path = py_ref::borrow(path);
  followed->path_text = string(file_path.value().text);
  followed->request = std::move(request.value());
  // A file that cannot be read again from an offset is refused before it is opened: opening a
  // FIFO would wait for a writer. A path holding a NUL byte names no file: opening refuses it.
  const bool names_a_file = file_path.value().text.find('\0') == std::string_view::npos;
  const std::optional<posix::file_facts> at_path =
      names_a_file ? posix::facts_at(followed->path_text.c_str()) : std::nullopt;
  if (at_path && !at_path->regular) {
    return follow_error(followed->path.get(), not_regular());
  }
  if (!followed->request.detect_width) {
    followed->state.width = followed->request.width;
  }
  // Opening a FIFO waits for a writer: the lock is not held meanwhile.
  result<posix::file_descriptor> opened =
      quiet_read_without_lock([&] { return open_plot_file(followed->path_text, signal_check()); });
  if (!opened) {
    return opened.take_error();
  }
  followed->file.emplace(std::move(opened.value()));
  const std::optional<posix::file_facts> facts = posix::facts_of(followed->file->get());
  if (!facts) {
    return os_error(path);
  }
  if (!facts->regular) {
    return follow_error(followed->path.get(), not_regular());
  }
  if (const compression packing = compression_of_file(followed->file->get());
      packing != compression::none) {
    return follow_error(followed->path.get(), compressed(packing));
  }
  followed->identity = *facts;
  py_ref capsule = py_ref::steal(PyCapsule_New(followed.get(), capsule_name, &destroy_follower));
  if (!capsule) {
    return pending_error::fetch_resuming_panic();
  }
  followed.release();
  return capsule;
}

result<py_ref> follow_read_call(PyObject* arguments, PyObject*& path) {
  PyObject* capsule = nullptr;
  int keep_block_headers = 0;
  if (!PyArg_ParseTuple(arguments, "Op:_follow_read", &capsule, &keep_block_headers)) {
    return pending_error::fetch_resuming_panic();
  }
  result<follower*> found = follower_of(capsule);
  if (!found) {
    return found.take_error();
  }
  follower* followed = found.value();
  path = followed->path.get();
  const int fd = followed->file->get();
  const std::optional<posix::file_facts> now = posix::facts_of(fd);
  if (!now) {
    return os_error(path);
  }
  if (const std::optional<follow_loss> lost =
          lost_track(followed->path_text, followed->identity, *now, followed->state.offset)) {
    return follow_error(followed->path.get(), *lost);
  }
  if (followed->state.started && now->size == followed->state.offset) {
    // Nothing new: no read at all. Until the head is read the file is, whatever its size: a file
    // of the kernel's (/proc) tells the size 0 and holds lines.
    return py_ref::borrow(Py_None);
  }
  followed->request.keep_block_headers = keep_block_headers != 0;
  followed->request.stop = signal_check();
  // The reader touches no interpreter object; the follower is the caller's, which reads it from
  // one thread at a time.
  result<std::optional<plot_contents>> contents = quiet_read_without_lock(
      [&] { return read_new_blocks(fd, followed->state, followed->request); });
  if (!contents) {
    return contents.take_error();
  }
  if (!contents.value()) {
    return follow_error(followed->path.get(),
                        {string("the file was rewritten: it no longer holds the bytes "
                                "already read where they were"),
                         ESTALE});
  }
  if (!followed->state.started) {
    // The head is not all there yet: nothing to tell.
    return py_ref::borrow(Py_None);
  }
  return contents_object(std::move(*contents.value()), keep_block_headers != 0);
}

} // namespace

PyObject* follow_open_entry(PyObject*, PyObject* arguments) {
  return plot_surface_entry([&](PyObject*& path) { return follow_open_call(arguments, path); });
}

PyObject* follow_read_entry(PyObject*, PyObject* arguments) {
  return plot_surface_entry([&](PyObject*& path) { return follow_read_call(arguments, path); });
}

PyObject* follow_close_entry(PyObject*, PyObject* capsule) {
  return close_held_entry<follower>(capsule, capsule_name,
                                    [](follower& followed) { followed.file.reset(); });
}

} // namespace korvane::binding
