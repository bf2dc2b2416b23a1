// src/lib/compression.h: the compressed formats a plot file may come in, told by its first bytes
#pragma once

#include <cstdint>
#include <string_view>

namespace korvane {

/// How the bytes of a plot file are packed.
enum class compression : std::uint8_t { none, gzip, zstd };

/// The packing the bytes start with: gzip's 1f 8b, zstd's 28 b5 2f fd; none otherwise.
[[nodiscard]] compression compression_of_start(std::string_view first_bytes) noexcept;

/// The packing of the file open as fd, told by its first bytes read at offset 0; none when they
/// cannot be read that way (a pipe, say).
[[nodiscard]] compression compression_of_file(int fd) noexcept;

/// The packing's name as users know it: "gzip", "zstd".
[[nodiscard]] std::string_view compression_name(compression packing) noexcept;

/// Whether this build can decompress the packing.
[[nodiscard]] bool can_decompress(compression packing) noexcept;

/// The size of the decompressed bytes as the file's own records guess it (gzip's trailer, zstd's
/// first frame header); 0 when they tell nothing. A guess: a file of several members or frames
/// holds more.
[[nodiscard]] std::uint64_t decompressed_size_guess(int fd, compression packing) noexcept;

} // namespace korvane
