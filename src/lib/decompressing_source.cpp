// src/lib/decompressing_source.cpp: the decompressed bytes of a compressed plot file, made on a
// thread of their own
#include "decompressing_source.h"

#include "posix.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <korvane/read_failure.h>
#include <system_error>

namespace korvane {

namespace {

constexpr io_error gzip_corrupt = io_error::fixed(
    error_kind::invalid_data, "the file is compressed with gzip, and its gzip data is corrupt");
constexpr io_error gzip_truncated = io_error::fixed(
    error_kind::unexpected_eof,
    "the file is compressed with gzip, and its data ends before the gzip stream does");
constexpr io_error zstd_corrupt = io_error::fixed(
    error_kind::invalid_data, "the file is compressed with zstd, and its zstd data is corrupt");
constexpr io_error zstd_truncated = io_error::fixed(
    error_kind::unexpected_eof,
    "the file is compressed with zstd, and its data ends before the zstd frame does");

// Compressed bytes per read of the file.
constexpr std::size_t input_size = std::size_t{1} << 17;

// The inflater of a packing this build can read; otherwise a failure that says so.
compression checked_packing(compression packing) {
  if (!can_decompress(packing)) {
    string message("the file is compressed with ");
    message.append(compression_name(packing));
    message.append(", which this build of korvane cannot read (it was built without ");
    message.append(packing == compression::gzip ? "zlib" : "libzstd");
    message.append("): decompress it first");
    raise_failure(message, {.kind = failure_kind::bad_compressed_data});
  }
  return packing;
}

// Blocks every signal on the calling thread while it lives, so that a thread started meanwhile
// leaves signals to the others.
class signals_blocked {
public:
  signals_blocked() noexcept {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before_);
  }
  signals_blocked(const signals_blocked&) = delete;
  signals_blocked& operator=(const signals_blocked&) = delete;
  ~signals_blocked() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

private:
  sigset_t before_{};
};

} // namespace

bool is_decompression_fault(const io_error& error) noexcept {
  if (error.is_os()) {
    return false;
  }
  const std::string_view message = error.fixed_message();
  return message == gzip_corrupt.fixed_message() || message == gzip_truncated.fixed_message() ||
         message == zstd_corrupt.fixed_message() || message == zstd_truncated.fixed_message();
}

decompressing_source::decompressing_source(int fd, compression packing, std::uint64_t skip)
    : fd_(fd), packing_(checked_packing(packing)), inflater_(packing), input_(input_size),
      chunks_(chunk_size * chunk_count), skip_(skip) {
  const signals_blocked quiet;
  try {
    thread_ = std::thread([this] { produce(); });
  } catch (const std::system_error& refused) {
    raise_failure("Failed to start decompressing", io_error::from_os(refused.code().value()),
                  {.kind = failure_kind::cannot_read});
  }
}

decompressing_source::~decompressing_source() {
  cancelled_ = true;
  {
    const std::lock_guard lock(mutex_);
    emptied_.notify_one();
  }
  thread_.join();
}

void decompressing_source::produce() noexcept {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      emptied_.wait(lock, [this] { return filled_count_ < chunk_count || cancelled_; });
    }
    if (cancelled_) {
      return;
    }
    std::size_t size = 0;
    const bool more = fill(chunks_.data() + write_chunk_ * chunk_size, size);
    const std::lock_guard lock(mutex_);
    if (size != 0) {
      sizes_[write_chunk_] = size;
      ++filled_count_;
      write_chunk_ = (write_chunk_ + 1) % chunk_count;
    }
    finished_ = !more;
    filled_.notify_one();
    if (!more) {
      return;
    }
  }
}

bool decompressing_source::fill(char* chunk, std::size_t& size) noexcept {
  const bool gzip = packing_ == compression::gzip;
  auto fail = [&](io_error error) {
    const std::lock_guard lock(mutex_);
    failure_ = error;
    return false;
  };
  while (size < chunk_size) {
    if (input_begin_ == input_end_ && !input_ended_) {
      const ssize_t got = posix::read_at(fd_, input_.data(), input_.size(), file_offset_);
      if (got < 0) {
        return fail(io_error::from_os(errno));
      }
      input_begin_ = 0;
      input_end_ = static_cast<std::size_t>(got);
      input_ended_ = got == 0;
      file_offset_ += static_cast<std::uint64_t>(got);
    }
    const reader::inflater::step step = inflater_.run(
        input_.data() + input_begin_, input_end_ - input_begin_, chunk + size, chunk_size - size);
    input_begin_ += step.taken;
    size += step.given;
    if (step.corrupt) {
      return fail(gzip ? gzip_corrupt : zstd_corrupt);
    }
    if (input_ended_ && input_begin_ == input_end_ && step.given == 0) {
      if (!inflater_.at_boundary()) {
        return fail(gzip ? gzip_truncated : zstd_truncated);
      }
      return false;
    }
  }
  return true;
}

bool decompressing_source::take_chunk() {
  std::unique_lock lock(mutex_);
  filled_.wait(lock, [this] { return filled_count_ != 0 || finished_; });
  if (filled_count_ == 0) {
    return false;
  }
  holding_ = true;
  read_at_ = 0;
  return true;
}

void decompressing_source::release_chunk() {
  holding_ = false;
  read_chunk_ = (read_chunk_ + 1) % chunk_count;
  const std::lock_guard lock(mutex_);
  --filled_count_;
  emptied_.notify_one();
}

ssize_t decompressing_source::read(char* buffer, std::size_t size) {
  for (;;) {
    if (!holding_ && !take_chunk()) {
      const std::lock_guard lock(mutex_);
      return failure_.is_os() && failure_.os_code() == 0 ? 0 : -1;
    }
    const char* chunk = chunks_.data() + read_chunk_ * chunk_size;
    const std::size_t left = sizes_[read_chunk_] - read_at_;
    if (skip_ != 0) {
      const std::size_t passed = static_cast<std::size_t>(std::min<std::uint64_t>(skip_, left));
      skip_ -= passed;
      read_at_ += passed;
    } else {
      const std::size_t given = std::min(size, left);
      std::memcpy(buffer, chunk + read_at_, given);
      read_at_ += given;
      if (read_at_ == sizes_[read_chunk_]) {
        release_chunk();
      }
      return static_cast<ssize_t>(given);
    }
    if (read_at_ == sizes_[read_chunk_]) {
      release_chunk();
    }
  }
}

} // namespace korvane
