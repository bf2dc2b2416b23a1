// tests/cpp/reader/compressed_test.cpp: gzip and zstd plot files against the plain file's reads,
// and streams cut short
#include "lib.h"
#include "support/failure_message.h"
#include "support/temp_file.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <korvane/read_failure.h>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>
#ifdef KORVANE_HAVE_ZSTD
#include <zstd.h>
#endif

namespace korvane {
namespace {

// A plot file of count parameters and blocks blocks of random values, width 12.
std::string random_text(std::mt19937& random, std::uint32_t count, std::uint32_t blocks) {
  std::string text = " run " + std::to_string(count) + "\n";
  for (std::uint32_t i = 0; i < count; ++i) {
    text += " p" + std::to_string(i) + "\n";
  }
  std::uniform_real_distribution<double> value(-1e5, 1e5);
  for (std::uint32_t b = 0; b < blocks; ++b) {
    text += " TIME = " + std::to_string(b) + "\n";
    for (std::uint32_t i = 0; i < count; ++i) {
      char field[32];
      std::snprintf(field, sizeof field, "%12.5E", value(random));
      text.append(field, 12);
      if (i % 10 == 9 || i + 1 == count) {
        text += "\n";
      }
    }
  }
  return text;
}

// data as one gzip member at the level.
std::string gzip_member(std::string_view data, int level) {
  z_stream stream{};
  // 16 + the largest window: a gzip header and trailer around the deflate data.
  EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, data.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string zstd_frame([[maybe_unused]] std::string_view data, [[maybe_unused]] int level) {
#ifdef KORVANE_HAVE_ZSTD
  std::string out(ZSTD_compressBound(data.size()), '\0');
  const std::size_t size = ZSTD_compress(out.data(), out.size(), data.data(), data.size(), level);
  EXPECT_FALSE(ZSTD_isError(size));
  out.resize(size);
  return out;
#else
  return {};
#endif
}

using packer = std::string (*)(std::string_view, int);

struct packing_case {
  const char* name;
  packer pack;
};

std::vector<packing_case> packings() {
  std::vector<packing_case> found{{"gzip", gzip_member}};
#ifdef KORVANE_HAVE_ZSTD
  found.push_back({"zstd", zstd_frame});
#endif
  return found;
}

// text packed in pieces cut at random: gzip members or zstd frames one after another.
std::string in_pieces(std::mt19937& random, std::string_view text, packer pack) {
  const int pieces = std::uniform_int_distribution<int>(1, 4)(random);
  std::vector<std::size_t> cuts{0, text.size()};
  for (int i = 1; i < pieces; ++i) {
    cuts.push_back(std::uniform_int_distribution<std::size_t>(0, text.size())(random));
  }
  std::sort(cuts.begin(), cuts.end());
  std::string packed;
  const int level = std::uniform_int_distribution<int>(1, 9)(random);
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    packed += pack(text.substr(cuts[i], cuts[i + 1] - cuts[i]), level);
  }
  return packed;
}

bool same_columns(const columns& a, const columns& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size() ||
        (a[c].size() != 0 &&
         std::memcmp(&*a[c].begin(), &*b[c].begin(), a[c].size() * sizeof(float)) != 0)) {
      return false;
    }
  }
  return true;
}

TEST(compressed_test, reads_equal_the_plain_files) {
  std::mt19937 random(26);
  const quiet_failures quiet;
  for (int round = 0; round < 12; ++round) {
    // Some files pass the decompressor's ring of chunks several times over.
    const auto blocks = static_cast<std::uint32_t>(round % 4 == 3 ? 9000 : 1 + random() % 60);
    const std::string text =
        random_text(random, static_cast<std::uint32_t>(1 + random() % 30), blocks);
    const testing::temp_file plain(text);
    const plot_request request{.width = 12, .keep_block_headers = true};
    const plot_contents expected = read_plot(plain.path(), request);
    for (const packing_case& packing : packings()) {
      SCOPED_TRACE(std::string(packing.name) + " round " + std::to_string(round));
      const testing::temp_file packed(in_pieces(random, text, packing.pack));
      const plot_contents got = read_plot(packed.path(), request);
      EXPECT_TRUE(same_columns(got.data, expected.data));
      EXPECT_EQ(got.block_headers, expected.block_headers);
      EXPECT_EQ(got.blocks, expected.blocks);

      const plot_parts parts = open_plot_parts(packed.path(), request);
      ASSERT_EQ(parts.index.blocks(), expected.blocks);
      const std::uint64_t first = random() % blocks;
      const block_runs runs{{first, blocks}, {0, first}};
      const plot_contents rotated = read_plot_runs(parts, runs, request);
      for (std::size_t c = 0; c < expected.data.size(); ++c) {
        std::vector<float> want(expected.data[c].begin() + static_cast<std::ptrdiff_t>(first),
                                expected.data[c].end());
        want.insert(want.end(), expected.data[c].begin(),
                    expected.data[c].begin() + static_cast<std::ptrdiff_t>(first));
        EXPECT_TRUE(
            std::equal(want.begin(), want.end(), rotated.data[c].begin(), rotated.data[c].end()));
      }
    }
  }
}

TEST(compressed_test, a_stream_cut_short_fails_naming_its_packing) {
  std::mt19937 random(3);
  const quiet_failures quiet;
  const std::string text = random_text(random, 20, 3000);
  for (const packing_case& packing : packings()) {
    const std::string whole = packing.pack(text, 6);
    for (int cut = 0; cut < 12; ++cut) {
      const std::size_t size = 4 + random() % (whole.size() - 4);
      SCOPED_TRACE(std::string(packing.name) + " cut at " + std::to_string(size));
      const testing::temp_file packed(whole.substr(0, size));
      for (bool indexed : {false, true}) {
        const std::optional<read_failure> failure = testing::raised_failure([&] {
          if (indexed) {
            (void)open_plot_parts(packed.path(), {.width = 12});
          } else {
            (void)read_plot(packed.path(), {.width = 12});
          }
        });
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->site().kind, failure_kind::bad_compressed_data);
        EXPECT_NE(std::string(failure->message()).find(packing.name), std::string::npos);
        EXPECT_NE(failure->site().line_number, 0U);
      }
    }
  }
}

TEST(compressed_test, the_rust_surface_reads_the_bytes_as_they_are) {
  const quiet_failures quiet;
  std::mt19937 random(1);
  const testing::temp_file packed(gzip_member(random_text(random, 3, 3), 6));
  const std::optional<read_failure> failure =
      testing::raised_failure([&] { (void)read_plot_file(packed.path(), 12); });
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->site().kind, failure_kind::compressed);
  EXPECT_EQ(std::string(failure->message()),
            "Failed to read line!: Error { kind: InvalidData, message: \"stream did not contain "
            "valid UTF-8\" }");
}

} // namespace
} // namespace korvane
