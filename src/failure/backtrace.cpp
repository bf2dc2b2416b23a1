// src/failure/backtrace.cpp: the stack backtrace block of a failure report, through libbacktrace
#include "backtrace.h"

#include "stderr_output.h"

#include <array>
#include <backtrace.h>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cxxabi.h>
#include <string_view>
#include <unistd.h>

namespace korvane::failure {

namespace {

// The short form stops after this many frames, shown and omitted together.
constexpr std::size_t short_frame_limit = 101;
// Functions inlined into one frame that are named; deeper ones are dropped.
constexpr std::size_t inline_limit = 16;
// Leading frames whose function starts with one of these belong to the failure machinery.
constexpr std::array<std::string_view, 2> machinery_prefixes = {"korvane::failure::",
                                                                "korvane::raise_failure"};

void ignore_error(void*, const char*, int) {}

// libbacktrace reads the debug information and full symbol table of every loaded object, so
// the module's hidden functions get names too; the state can never be released, so it is
// created once for the process.
backtrace_state* shared_state() noexcept {
  static backtrace_state* const state = backtrace_create_state(nullptr, 1, ignore_error, nullptr);
  return state;
}

// A function name as printed: demangled when it is a mangled C++ name.
class readable_name {
public:
  explicit readable_name(const char* raw) noexcept {
    if (raw != nullptr) {
      int status = 0;
      demangled_ = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
    }
    text_ = demangled_ != nullptr ? demangled_ : raw != nullptr ? raw : "<unknown>";
  }
  readable_name(const readable_name&) = delete;
  readable_name& operator=(const readable_name&) = delete;
  ~readable_name() { std::free(demangled_); }

  [[nodiscard]] std::string_view text() const noexcept { return text_; }

private:
  char* demangled_ = nullptr;
  std::string_view text_;
};

// One function of a frame: the frame's own, or one inlined into it.
struct frame_function {
  const char* name = nullptr;
  const char* file = nullptr;
  int line = 0;
};

// What libbacktrace tells about one code address, innermost inlined function first.
struct frame_info {
  std::array<frame_function, inline_limit> functions{};
  std::size_t count = 0;
  const char* symbol = nullptr;
};

int collect_function(void* data, std::uintptr_t, const char* file, int line, const char* function) {
  auto& info = *static_cast<frame_info*>(data);
  if (function == nullptr && file == nullptr) {
    return 0;
  }
  info.functions[info.count++] = {function, file, line};
  return info.count == inline_limit ? 1 : 0;
}

void collect_symbol(void* data, std::uintptr_t, const char* symbol, std::uintptr_t,
                    std::uintptr_t) {
  static_cast<frame_info*>(data)->symbol = symbol;
}

frame_info describe(std::uintptr_t pc) noexcept {
  frame_info info;
  backtrace_pcinfo(shared_state(), pc, collect_function, ignore_error, &info);
  backtrace_syminfo(shared_state(), pc, collect_symbol, ignore_error, &info);
  if (info.count == 0) {
    info.functions[info.count++] = {};
  }
  // The symbol table names the outermost function with its full signature.
  if (info.symbol != nullptr) {
    info.functions[info.count - 1].name = info.symbol;
  }
  return info;
}

bool is_machinery(std::string_view name) noexcept {
  for (const std::string_view prefix : machinery_prefixes) {
    if (name.starts_with(prefix)) {
      return true;
    }
  }
  return false;
}

// The directory the short form makes source paths relative to, with a trailing slash.
class working_directory {
public:
  working_directory() noexcept {
    if (::getcwd(path_.data(), path_.size() - 1) != nullptr) {
      text_ = path_.data();
      if (!text_.ends_with('/')) {
        path_[text_.size()] = '/';
        text_ = {path_.data(), text_.size() + 1};
      }
    }
  }

  [[nodiscard]] std::string_view relative(std::string_view file) const noexcept {
    if (!text_.empty() && file.starts_with(text_)) {
      file.remove_prefix(text_.size());
    }
    return file;
  }

private:
  std::array<char, PATH_MAX + 1> path_{};
  std::string_view text_;
};

void append_padded(stderr_buffer& out, std::uint64_t value, int base, std::size_t width,
                   char fill) noexcept {
  std::array<char, 20> digits{};
  std::size_t count = 0;
  do {
    digits[count++] = "0123456789abcdef"[value % static_cast<std::uint64_t>(base)];
    value /= static_cast<std::uint64_t>(base);
  } while (value != 0);
  for (std::size_t i = count; i < width; ++i) {
    out << std::string_view(&fill, 1);
  }
  while (count > 0) {
    out << std::string_view(&digits[--count], 1);
  }
}

struct stack_walk {
  bool full;
  working_directory directory;
  std::size_t walked = 0;
  std::uint64_t shown = 0;
  bool leaving_machinery = true;
};

// Inlined functions and source lines line up under the frame's first name.
constexpr std::string_view blanks = "                                        ";

void write_frame(stack_walk& walk, std::uintptr_t pc, const frame_info& info) noexcept {
  stderr_buffer out;
  const std::size_t indent = walk.full ? 27 : 6;
  for (std::size_t i = 0; i < info.count; ++i) {
    const frame_function& function = info.functions[i];
    if (i == 0) {
      append_padded(out, walk.shown, 10, 4, ' ');
      out << ": ";
      if (walk.full) {
        out << "0x";
        append_padded(out, pc, 16, 16, '0');
        out << " - ";
      }
    } else {
      out << blanks.substr(0, indent);
    }
    out << readable_name(function.name).text() << "\n";
    if (function.file != nullptr) {
      const std::string_view file =
          walk.full ? std::string_view(function.file) : walk.directory.relative(function.file);
      out << blanks.substr(0, indent + 7) << "at " << file << ":"
          << static_cast<std::uint64_t>(function.line) << "\n";
    }
  }
  ++walk.shown;
}

int visit_frame(void* data, std::uintptr_t pc) {
  auto& walk = *static_cast<stack_walk*>(data);
  // The outermost frame of the main thread reports an address that belongs to no code.
  if (pc == UINTPTR_MAX) {
    return 1;
  }
  ++walk.walked;
  const frame_info info = describe(pc);
  if (!walk.full && walk.leaving_machinery) {
    if (is_machinery(readable_name(info.functions[info.count - 1].name).text())) {
      return 0;
    }
    walk.leaving_machinery = false;
  }
  write_frame(walk, pc, info);
  return !walk.full && walk.walked == short_frame_limit ? 1 : 0;
}

} // namespace

void write_backtrace_block(bool full) noexcept {
  write_to_stderr("stack backtrace:\n");
  if (backtrace_state* state = shared_state()) {
    stack_walk walk{full, {}};
    backtrace_simple(state, 0, visit_frame, ignore_error, &walk);
  }
  if (!full) {
    write_to_stderr("note: Some details are omitted, run with `RUST_BACKTRACE=full` for a "
                    "verbose backtrace.\n");
  }
}

} // namespace korvane::failure
