// src/lib/share_threads.h: the shares of a read, each on a thread of its own
#pragma once

#include "posix.h"

#include <atomic>
#include <cstddef>
#include <functional>

namespace korvane::reader {

/// Reads share `share`, asking `stop` (when given) whether to stop as a line source does, and
/// ending early once `cancelled` is set.
using share_read = std::function<void(std::size_t share, const std::atomic<bool>& cancelled,
                                      posix::stop_check stop)>;

/// Runs read for the shares 0 to count - 1: one share on the calling thread with stop, or each on
/// a thread of its own while the calling thread waits, asking stop every few tens of
/// milliseconds. The failure of the first share that failed is thrown once every thread has
/// ended, so that a read fails as it would on one thread; a failure cancels the shares after it
/// (theirs could not count), and a stop cancels them all. The threads' failures are quiet when the
/// calling thread's are.
void read_shares(std::size_t count, const share_read& read, posix::stop_check stop);

} // namespace korvane::reader
