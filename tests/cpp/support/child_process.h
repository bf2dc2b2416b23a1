// tests/cpp/support/child_process.h: runs a program as a child and collects what it left behind
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane::testing {

/// What a finished child process wrote and how it ended.
struct child_outcome {
  /// The child's process id, which is also its main thread's id.
  int pid = 0;
  std::string out;
  std::string err;
  /// The exit status, or -1 when a signal ended the child.
  int exit_code = -1;
  /// The signal that ended the child, or 0 when it exited.
  int signal = 0;
};

/// How the child is started: its arguments, changes to its environment (a value to set, or
/// nullopt to remove the variable) and a file that replaces its captured standard output.
struct child_options {
  std::vector<std::string> arguments;
  std::vector<std::pair<std::string, std::optional<std::string>>> environment;
  std::optional<std::string> stdout_file;
};

/// Runs program to its end and returns what it wrote to the captured streams.
child_outcome run_child(const std::string& program, const child_options& options);

} // namespace korvane::testing
