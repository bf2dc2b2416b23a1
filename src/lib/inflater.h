// src/lib/inflater.h: a decompressor of gzip or zstd bytes, run a step at a time
#pragma once

#include "compression.h"

#include <cstddef>

#ifdef KORVANE_HAVE_ZLIB
#include <zlib.h>
#endif

#ifdef KORVANE_HAVE_ZSTD
struct ZSTD_DCtx_s;
#endif

namespace korvane::reader {

/// Decompresses a stream of gzip members or zstd frames, one after another, step by step.
class inflater {
public:
  /// A decompressor of the packing, which this build can decompress; a refused allocation
  /// raises read_failure (out_of_memory).
  explicit inflater(compression packing);
  inflater(const inflater&) = delete;
  inflater& operator=(const inflater&) = delete;
  ~inflater();

  /// The bytes a step took and gave.
  struct step {
    std::size_t taken = 0;
    std::size_t given = 0;
    /// The bytes taken are not the packing's.
    bool corrupt = false;
  };

  /// Decompresses from [input, input + input_size) into [output, output + output_size) as far
  /// as both allow.
  [[nodiscard]] step run(const char* input, std::size_t input_size, char* output,
                         std::size_t output_size) noexcept;

  /// Whether the bytes taken so far end a member or frame, and every byte it holds was given:
  /// the input may end here.
  [[nodiscard]] bool at_boundary() const noexcept { return at_boundary_; }

private:
  compression packing_;
  bool at_boundary_ = true;
#ifdef KORVANE_HAVE_ZLIB
  z_stream zlib_{};
  step run_gzip(const char* input, std::size_t input_size, char* output,
                std::size_t output_size) noexcept;
#endif
#ifdef KORVANE_HAVE_ZSTD
  ZSTD_DCtx_s* zstd_ = nullptr;
  step run_zstd(const char* input, std::size_t input_size, char* output,
                std::size_t output_size) noexcept;
#endif
};

} // namespace korvane::reader
