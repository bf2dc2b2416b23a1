// src/lib/compression.cpp: the compressed formats a plot file may come in, told by its first bytes
#include "compression.h"

#include "posix.h"

#include <array>
#include <cstring>
#ifdef KORVANE_HAVE_ZSTD
#include <zstd.h>
#endif

namespace korvane {

namespace {

constexpr std::string_view gzip_magic = "\x1f\x8b";
constexpr std::string_view zstd_magic = "\x28\xb5\x2f\xfd";

// gzip's trailer ends with the member's size modulo 2^32, little-endian.
std::uint64_t gzip_size_guess(int fd) noexcept {
  const std::uint64_t size = posix::regular_file_size(fd);
  std::array<unsigned char, 4> tail{};
  if (size < 18 || posix::read_at(fd, reinterpret_cast<char*>(tail.data()), tail.size(),
                                  size - tail.size()) != static_cast<ssize_t>(tail.size())) {
    return 0;
  }
  return std::uint64_t{tail[0]} | std::uint64_t{tail[1]} << 8 | std::uint64_t{tail[2]} << 16 |
         std::uint64_t{tail[3]} << 24;
}

std::uint64_t zstd_size_guess([[maybe_unused]] int fd) noexcept {
#ifdef KORVANE_HAVE_ZSTD
  // A frame header takes at most 18 bytes.
  std::array<char, 18> header{};
  const ssize_t got = posix::read_at(fd, header.data(), header.size(), 0);
  if (got <= 0) {
    return 0;
  }
  const unsigned long long size =
      ZSTD_getFrameContentSize(header.data(), static_cast<std::size_t>(got));
  if (size == ZSTD_CONTENTSIZE_UNKNOWN || size == ZSTD_CONTENTSIZE_ERROR) {
    return 0;
  }
  return size;
#else
  return 0;
#endif
}

} // namespace

compression compression_of_start(std::string_view first_bytes) noexcept {
  if (first_bytes.starts_with(gzip_magic)) {
    return compression::gzip;
  }
  if (first_bytes.starts_with(zstd_magic)) {
    return compression::zstd;
  }
  return compression::none;
}

compression compression_of_file(int fd) noexcept {
  std::array<char, 4> first{};
  const ssize_t got = posix::read_at(fd, first.data(), first.size(), 0);
  if (got <= 0) {
    return compression::none;
  }
  return compression_of_start({first.data(), static_cast<std::size_t>(got)});
}

std::string_view compression_name(compression packing) noexcept {
  switch (packing) {
  case compression::gzip:
    return "gzip";
  case compression::zstd:
    return "zstd";
  case compression::none:
    break;
  }
  return "none";
}

bool can_decompress(compression packing) noexcept {
  switch (packing) {
  case compression::gzip:
#ifdef KORVANE_HAVE_ZLIB
    return true;
#else
    return false;
#endif
  case compression::zstd:
#ifdef KORVANE_HAVE_ZSTD
    return true;
#else
    return false;
#endif
  case compression::none:
    break;
  }
  return true;
}

std::uint64_t decompressed_size_guess(int fd, compression packing) noexcept {
  switch (packing) {
  case compression::gzip:
    return gzip_size_guess(fd);
  case compression::zstd:
    return zstd_size_guess(fd);
  case compression::none:
    break;
  }
  return posix::regular_file_size(fd);
}

} // namespace korvane
