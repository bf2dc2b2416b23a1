// tests/cpp/support/temp_file.h: plot files written to a temporary directory for one test
#pragma once

#include <string>
#include <string_view>

namespace korvane::testing {

/// A file with the given bytes, removed when the object goes out of scope.
class temp_file {
public:
  explicit temp_file(std::string_view contents);
  temp_file(const temp_file&) = delete;
  temp_file& operator=(const temp_file&) = delete;
  ~temp_file();

  /// The file's absolute path.
  [[nodiscard]] const std::string& path() const noexcept { return path_; }

private:
  std::string path_;
};

} // namespace korvane::testing
