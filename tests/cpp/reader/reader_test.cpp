// tests/cpp/reader/reader_test.cpp: plot files that read into columns
#include "lib.h"
#include "support/temp_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvane {
namespace {

using values = std::vector<std::vector<float>>;

values read(std::string_view contents, std::uint32_t width) {
  const testing::temp_file file(contents);
  const columns data = read_plot_file(file.path(), width);
  values out;
  for (const column& c : data) {
    out.emplace_back(c.begin(), c.end());
  }
  return out;
}

TEST(reader_test, example_file) {
  const std::string file = " EXAMPLE        3\n A\n B\n C\n block one\n"
                           " 1.00000E+00 2.50000E-01-3.00000E+02\n block two\n"
                           " 2.00000E+00 5.00000E-01-6.00000E+02\n";
  EXPECT_EQ(read(file, 12), (values{{1.0F, 2.0F}, {0.25F, 0.5F}, {-300.0F, -600.0F}}));
}

} // namespace
} // namespace korvane
