// src/lib/share_threads.cpp: the shares of a read, each on a thread of its own
#include "share_threads.h"

#include "failure/entry.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <korvane/checked_allocator.h>
#include <korvane/read_failure.h>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace korvane::reader {

namespace {

// How often the calling thread asks its stop check while the threads read.
constexpr std::chrono::milliseconds stop_check_period{20};

// What the threads of one read share: each share's failure and cancellation, and how many
// shares have ended.
class share_board {
public:
  explicit share_board(std::size_t count)
      : failures_(count), cancelled_(std::make_unique<std::atomic<bool>[]>(count)), count_(count) {}

  [[nodiscard]] const std::atomic<bool>& cancelled(std::size_t share) const noexcept {
    return cancelled_[share];
  }

  // Runs share `share`, keeping its failure, and cancels the shares after a failed one.
  void run(const share_read& read, std::size_t share, posix::stop_check stop) noexcept {
    try {
      read(share, cancelled_[share], stop);
    } catch (...) {
      failures_[share] = std::current_exception();
      cancel_from(share + 1);
    }
    const std::lock_guard lock(mutex_);
    ++ended_;
    ended_change_.notify_all();
  }

  void cancel_from(std::size_t first) noexcept {
    for (std::size_t share = first; share < count_; ++share) {
      cancelled_[share].store(true, std::memory_order_relaxed);
    }
  }

  // Waits until `started` shares have ended, asking stop (when given) between waits; false when
  // it said to stop, after cancelling every share.
  bool wait_for(std::size_t started, posix::stop_check stop) {
    std::unique_lock lock(mutex_);
    while (ended_ < started) {
      if (stop == nullptr) {
        ended_change_.wait(lock);
        continue;
      }
      if (ended_change_.wait_for(lock, stop_check_period) == std::cv_status::timeout) {
        lock.unlock();
        const bool stopped = stop(posix::stop_reason::progress);
        lock.lock();
        if (stopped) {
          cancel_from(0);
          return false;
        }
      }
    }
    return true;
  }

  // Throws the first share's failure, if any failed.
  void throw_first_failure() const {
    for (const std::exception_ptr& failure : failures_) {
      if (failure) {
        std::rethrow_exception(failure);
      }
    }
  }

private:
  std::vector<std::exception_ptr, checked_allocator<std::exception_ptr>> failures_;
  std::unique_ptr<std::atomic<bool>[]> cancelled_;
  std::size_t count_;
  std::mutex mutex_;
  std::condition_variable ended_change_;
  std::size_t ended_ = 0;
};

// A reading thread: quiet when the calling thread is, and ready to raise under memory pressure.
void share_thread(share_board& board, const share_read& read, std::size_t share, bool quiet) {
  failure::prepare_thread_for_failures();
  std::optional<quiet_failures> quiet_here;
  if (quiet) {
    quiet_here.emplace();
  }
  board.run(read, share, nullptr);
}

} // namespace

void read_shares(std::size_t count, const share_read& read, posix::stop_check stop) {
  if (count == 1) {
    const std::atomic<bool> never{false};
    read(0, never, stop);
    return;
  }
  share_board board(count);
  const bool quiet = quiet_failures::active();
  std::vector<std::jthread> threads;
  threads.reserve(count);
  std::size_t started = 0;
  try {
    for (; started < count; ++started) {
      threads.emplace_back(share_thread, std::ref(board), std::cref(read), started, quiet);
    }
  } catch (const std::system_error&) {
    // No thread to be had: the calling thread reads the shares left, in order.
    for (std::size_t share = started; share < count; ++share) {
      board.run(read, share, nullptr);
    }
  }
  const bool finished = board.wait_for(started, stop);
  threads.clear();
  if (!finished) {
    raise_failure("Failed to read line!", io_error::from_os(EINTR),
                  {.kind = failure_kind::cannot_read});
  }
  board.throw_first_failure();
}

} // namespace korvane::reader
