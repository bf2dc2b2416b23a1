// src/failure/abort.cpp: the one way the module ends the process
#include "abort.h"

#include "stderr_output.h"

#include <cstdlib>

namespace korvane::failure {

void abort_process(std::string_view message) noexcept {
  write_to_stderr(message);
  std::abort();
}

} // namespace korvane::failure
