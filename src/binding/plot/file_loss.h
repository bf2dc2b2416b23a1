// src/binding/plot/file_loss.h: a file held open that no longer holds what was read of it
#pragma once

#include "binding/entry/pending_error.h"
#include "lib.h"
#include "posix.h"

#include <Python.h>
#include <optional>
#include <string_view>

namespace korvane::binding {

/// Why a file held open can no longer be read on, and the error number that tells it.
struct file_loss {
  string message;
  int error;
};

/// Why the file open with the identity, at path_text, can no longer be read on, if it cannot:
/// another file at its path, or a size now below the bytes read.
[[nodiscard]] std::optional<file_loss> lost_track(std::string_view path_text,
                                                  const posix::file_facts& identity,
                                                  const posix::file_facts& now,
                                                  std::uint64_t bytes_read);

/// The FollowError for the file at path.
[[nodiscard]] pending_error follow_error(PyObject* path, const file_loss& loss);

/// The error errno holds, as the OSError open() raises for the path.
[[nodiscard]] pending_error os_error(PyObject* path);

} // namespace korvane::binding
