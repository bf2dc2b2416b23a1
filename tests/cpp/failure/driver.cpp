// tests/cpp/failure/driver.cpp: a child process that runs one failure path for the failure tests
#include "failure/entry.h"
#include "failure/report.h"
#include "lib.h"
#include "support/failure_message.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <korvane/checked_allocator.h>
#include <korvane/read_failure.h>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>

namespace {

using korvane::read_failure;

// Exit statuses the tests tell apart from an abort.
constexpr int carried = 0;
constexpr int not_carried = 1;
constexpr int bad_usage = 2;

// Caught failures are listed on standard output, or lost when it is closed.
void note_caught(const read_failure& failure) {
  const std::string line =
      "caught: " + std::string(failure.message()) + " @ " + failure.where().file + "\n";
  static_cast<void>(::write(STDOUT_FILENO, line.data(), line.size()));
}

template <class Body>
bool carries(Body body) {
  const std::optional<read_failure> failure = korvane::testing::raised_failure(body);
  if (failure) {
    note_caught(*failure);
  }
  return failure.has_value();
}

// Reads a plot file `times` times; between the first and second read RUST_BACKTRACE may change.
int read_file(const char* path, int times, const char* later_style) {
  for (int i = 0; i < times; ++i) {
    if (!carries([&] { static_cast<void>(korvane::read_plot_file(path, 12)); })) {
      return not_carried;
    }
    if (later_style != nullptr) {
      ::setenv("RUST_BACKTRACE", later_style, 1);
    }
  }
  return carried;
}

// Raises from its destructor. The choice is made at run time: a destructor that always raises
// would let the compiler drop the handler of the failure that is unwinding.
class raises_when_released {
public:
  explicit raises_when_released(bool armed) noexcept : armed_(armed) {}
  raises_when_released(const raises_when_released&) = delete;
  raises_when_released& operator=(const raises_when_released&) = delete;
  ~raises_when_released() {
    if (armed_) {
      korvane::raise_failure("raised during cleanup");
    }
  }

private:
  bool armed_;
};

// Calls bottom at the end of depth nested calls.
[[gnu::noinline]] void descend(unsigned long depth, void (*bottom)()) {
  if (depth == 0) {
    bottom();
    return;
  }
  descend(depth - 1, bottom);
  // Work after the call keeps it a call rather than a jump.
  asm volatile("" ::: "memory");
}

int run(std::string_view scenario, int argc, char** argv) {
  if (scenario == "read" && argc >= 2) {
    return read_file(argv[0], std::atoi(argv[1]), argc >= 3 ? argv[2] : nullptr);
  }
  if (scenario == "long" && argc >= 1) {
    const std::string message(std::strtoul(argv[0], nullptr, 10), 'x');
    return carries([&] { korvane::raise_failure(message); }) ? carried : not_carried;
  }
  if (scenario == "deep" && argc >= 1) {
    return carries([&] {
      descend(std::strtoul(argv[0], nullptr, 10), [] { korvane::raise_failure("deep"); });
    })
               ? carried
               : not_carried;
  }
  if (scenario == "exhaustion-after-failure") {
    if (!carries([] { korvane::raise_failure("reported first"); })) {
      return not_carried;
    }
    static_cast<void>(korvane::failure::allocate_bytes(PTRDIFF_MAX / 2, 1));
    return not_carried;
  }
  if (scenario == "exhaustion-on-two-threads") {
    // This thread holds the report lock, as a thread writing another report would. Whichever
    // worker is refused first claims the exhaustion report and waits here for the lock, so
    // the other one is always the second, however the two are scheduled, and ends the process.
    const std::lock_guard reporting(korvane::failure::report_lock());
    const auto exhaust = [] {
      static_cast<void>(korvane::failure::allocate_bytes(PTRDIFF_MAX / 2, 1));
    };
    std::thread(exhaust).detach();
    std::thread(exhaust).detach();
    // Only a second refusal that waits for the lock too gets here: both would wait forever.
    std::this_thread::sleep_for(std::chrono::seconds(60));
    std::_Exit(not_carried);
  }
  if (scenario == "exhaustion") {
    static_cast<void>(korvane::failure::allocate_bytes(PTRDIFF_MAX / 2, 1));
    return not_carried;
  }
  if (scenario == "cleanup") {
    return carries([argc] {
      const raises_when_released guard(argc == 0);
      korvane::raise_failure("first failure");
    })
               ? carried
               : not_carried;
  }
  if (scenario == "trap") {
    try {
      korvane::raise_failure("escaped the conversion");
    } catch (...) {
      korvane::failure::ffi_boundary_trap();
    }
  }
  if (scenario == "composing") {
    const korvane::failure::composing_scope composing;
    korvane::raise_failure("strerror_r failure");
  }
  if (scenario == "banner") {
    korvane::failure::write_resume_banner();
    return carries([] { korvane::failure::resume_failure(korvane::string("resumed")); })
               ? carried
               : not_carried;
  }
  return bad_usage;
}

} // namespace

// driver [--close FD]... SCENARIO ARGS...
int main(int argc, char** argv) {
  int next = 1;
  while (next + 1 < argc && std::string_view(argv[next]) == "--close") {
    ::close(std::atoi(argv[next + 1]));
    next += 2;
  }
  if (next >= argc) {
    return bad_usage;
  }
  return run(argv[next], argc - next - 1, argv + next + 1);
}
