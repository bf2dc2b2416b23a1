// tests/cpp/support/child_process.cpp: runs a program as a child and collects what it left behind
#include "support/child_process.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace korvane::testing {

namespace {

// The test process runs one thread, so the child may still allocate and change its
// environment between fork and exec.
[[noreturn]] void become_child(const std::string& program, const child_options& options,
                               int out_pipe, int err_pipe) {
  for (const auto& [name, value] : options.environment) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  const int out_fd =
      options.stdout_file ? ::open(options.stdout_file->c_str(), O_WRONLY) : out_pipe;
  if (out_fd < 0 || ::dup2(out_fd, STDOUT_FILENO) < 0 || ::dup2(err_pipe, STDERR_FILENO) < 0) {
    ::_exit(127);
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : options.arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

// Reads both pipes until the child has closed them.
void drain(int out_pipe, int err_pipe, child_outcome& outcome) {
  std::array<pollfd, 2> ends = {pollfd{out_pipe, POLLIN, 0}, pollfd{err_pipe, POLLIN, 0}};
  std::array<std::string*, 2> sinks = {&outcome.out, &outcome.err};
  std::size_t open_ends = 2;
  while (open_ends > 0) {
    if (::poll(ends.data(), ends.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::runtime_error("poll failed");
    }
    for (std::size_t i = 0; i < ends.size(); ++i) {
      if (ends[i].fd < 0 || ends[i].revents == 0) {
        continue;
      }
      std::array<char, 4096> chunk{};
      const ssize_t count = ::read(ends[i].fd, chunk.data(), chunk.size());
      if (count > 0) {
        sinks[i]->append(chunk.data(), static_cast<std::size_t>(count));
      } else if (count == 0 || errno != EINTR) {
        ::close(ends[i].fd);
        ends[i].fd = -1;
        --open_ends;
      }
    }
  }
}

} // namespace

child_outcome run_child(const std::string& program, const child_options& options) {
  std::array<int, 2> out_pipe{};
  std::array<int, 2> err_pipe{};
  if (::pipe2(out_pipe.data(), O_CLOEXEC) != 0 || ::pipe2(err_pipe.data(), O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe2 failed");
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    become_child(program, options, out_pipe[1], err_pipe[1]);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  child_outcome outcome;
  outcome.pid = pid;
  drain(out_pipe[0], err_pipe[0], outcome);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    outcome.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    outcome.signal = WTERMSIG(status);
  }
  return outcome;
}

} // namespace korvane::testing
