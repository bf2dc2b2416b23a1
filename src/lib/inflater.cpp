// src/lib/inflater.cpp: a decompressor of gzip or zstd bytes, run a step at a time
#include "inflater.h"

#include <korvane/read_failure.h>

#ifdef KORVANE_HAVE_ZSTD
#include <zstd.h>
#endif

namespace korvane::reader {

namespace {

[[noreturn]] void raise_refused(compression packing) {
  string message("Failed to start decompressing ");
  message.append(compression_name(packing));
  raise_failure(message, {.kind = failure_kind::out_of_memory});
}

} // namespace

inflater::inflater(compression packing) : packing_(packing) {
#ifdef KORVANE_HAVE_ZLIB
  // 16 + the largest window: gzip's header and trailer around deflate's data.
  if (packing == compression::gzip && inflateInit2(&zlib_, 16 + MAX_WBITS) != Z_OK) {
    raise_refused(packing);
  }
#endif
#ifdef KORVANE_HAVE_ZSTD
  if (packing == compression::zstd) {
    zstd_ = ZSTD_createDCtx();
    if (zstd_ == nullptr) {
      raise_refused(packing);
    }
  }
#endif
}

inflater::~inflater() {
#ifdef KORVANE_HAVE_ZLIB
  if (packing_ == compression::gzip) {
    inflateEnd(&zlib_);
  }
#endif
#ifdef KORVANE_HAVE_ZSTD
  ZSTD_freeDCtx(zstd_);
#endif
}

inflater::step inflater::run([[maybe_unused]] const char* input,
                             [[maybe_unused]] std::size_t input_size, [[maybe_unused]] char* output,
                             [[maybe_unused]] std::size_t output_size) noexcept {
#ifdef KORVANE_HAVE_ZLIB
  if (packing_ == compression::gzip) {
    return run_gzip(input, input_size, output, output_size);
  }
#endif
#ifdef KORVANE_HAVE_ZSTD
  if (packing_ == compression::zstd) {
    return run_zstd(input, input_size, output, output_size);
  }
#endif
  return {.corrupt = true};
}

#ifdef KORVANE_HAVE_ZLIB
inflater::step inflater::run_gzip(const char* input, std::size_t input_size, char* output,
                                  std::size_t output_size) noexcept {
  if (at_boundary_ && input_size != 0) {
    // Another member follows the last: gzip files may be concatenated.
    inflateReset(&zlib_);
    at_boundary_ = false;
  }
  // zlib counts in unsigned int: larger buffers are taken a part at a time.
  constexpr std::size_t most = 1U << 30;
  zlib_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input));
  zlib_.avail_in = static_cast<uInt>(std::min(input_size, most));
  zlib_.next_out = reinterpret_cast<Bytef*>(output);
  zlib_.avail_out = static_cast<uInt>(std::min(output_size, most));
  const uInt in_before = zlib_.avail_in;
  const uInt out_before = zlib_.avail_out;
  const int code = inflate(&zlib_, Z_NO_FLUSH);
  const step done{in_before - zlib_.avail_in, out_before - zlib_.avail_out,
                  code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR};
  at_boundary_ = code == Z_STREAM_END;
  return done;
}
#endif

#ifdef KORVANE_HAVE_ZSTD
inflater::step inflater::run_zstd(const char* input, std::size_t input_size, char* output,
                                  std::size_t output_size) noexcept {
  ZSTD_inBuffer in{input, input_size, 0};
  ZSTD_outBuffer out{output, output_size, 0};
  const std::size_t code = ZSTD_decompressStream(zstd_, &out, &in);
  if (ZSTD_isError(code) != 0) {
    return {in.pos, out.pos, true};
  }
  // 0: a frame is complete and all of it given. Otherwise the frame goes on, unless nothing
  // was taken or given at a boundary (a step with no input there changes nothing).
  if (code == 0) {
    at_boundary_ = true;
  } else if (in.pos != 0 || out.pos != 0) {
    at_boundary_ = false;
  }
  return {in.pos, out.pos, false};
}
#endif

} // namespace korvane::reader
