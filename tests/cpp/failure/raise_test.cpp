// tests/cpp/failure/raise_test.cpp: the message forms of raised failures and their order of events
#include "failure/entry.h"
#include "support/failure_message.h"
#include "support/write_capture.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <korvane/checked_allocator.h>
#include <korvane/read_failure.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace korvane {
namespace {

using testing::write_capture;

// Each body raises: one that raises nothing fails its test on the empty value. The capture keeps
// the report it writes.
using testing::raised_failure;

TEST(raise_test, message_forms) {
  struct row {
    std::function<void()> raise;
    std::string_view message;
  };
  const row rows[] = {
      {[] { raise_failure("Failed ot read line!"); }, "Failed ot read line!"},
      {[] { raise_failure("Could not parse line", "ParseFloatError { kind: Invalid }"); },
       "Could not parse line: ParseFloatError { kind: Invalid }"},
      {[] { raise_failure("Plot file not found!", io_error::from_os(2)); },
       "Plot file not found!: Os { code: 2, kind: NotFound, message: \"No such file or directory\" "
       "}"},
      {[] { raise_failure(std::string_view("with\0nul", 8)); }, std::string_view("with\0nul", 8)},
  };
  for (const row& r : rows) {
    const write_capture capture;
    const read_failure failure = raised_failure(r.raise).value();
    EXPECT_EQ(std::string_view(failure.message()), r.message);
    // The report went out before the failure left the raise, with the same message.
    EXPECT_NE(capture.received(STDERR_FILENO).find(std::string(r.message) + "\n"),
              std::string::npos)
        << r.message;
  }
}

TEST(raise_test, location_travels_with_the_failure) {
  const write_capture capture;
  const read_failure failure =
      raised_failure([] {
        raise_failure("Error reading line", read_site{}, failure_location{"src/lib.cpp", 9, 4});
      }).value();
  EXPECT_STREQ(failure.where().file, "src/lib.cpp");
  EXPECT_EQ(failure.where().line, 9U);
  EXPECT_EQ(failure.where().column, 4U);
  const std::string header = "\nthread '<unnamed>' (" + std::to_string(::gettid()) +
                             ") panicked at src/lib.cpp:9:4:\nError reading line\n";
  EXPECT_TRUE(capture.received(STDERR_FILENO).starts_with(header))
      << capture.received(STDERR_FILENO);
}

TEST(raise_test, capacity_overflow_is_located_in_the_allocator) {
  struct row {
    std::size_t count;
    std::size_t size;
  };
  for (const row r : {row{PTRDIFF_MAX, 2}, row{SIZE_MAX, 1}, row{PTRDIFF_MAX / 8 + 1, 8}}) {
    const write_capture capture;
    const read_failure failure = raised_failure([&] {
                                   static_cast<void>(failure::allocate_bytes(r.count, r.size));
                                 }).value();
    EXPECT_EQ(std::string_view(failure.message()), "capacity overflow")
        << r.count << " x " << r.size;
    EXPECT_STREQ(failure.where().file, "src/failure/allocate.cpp");
  }
}

TEST(raise_test, a_hoped_for_resize_refused_leaves_the_memory_as_it_was) {
  auto* memory = static_cast<char*>(failure::allocate_bytes(4, 1));
  std::memcpy(memory, "abc", 4);
  const write_capture capture;
  // A size that cannot be expressed, and one no machine grants: no failure, no report.
  EXPECT_EQ(failure::try_reallocate_bytes(memory, PTRDIFF_MAX, 2), nullptr);
#ifndef __SANITIZE_ADDRESS__
  // (AddressSanitizer ends the process on a request this size instead of refusing it.)
  EXPECT_EQ(failure::try_reallocate_bytes(memory, PTRDIFF_MAX / 2, 1), nullptr);
#endif
  EXPECT_EQ(capture.received(STDERR_FILENO), "");
  EXPECT_STREQ(memory, "abc");
  // An empty size keeps a block rather than freeing it.
  memory = static_cast<char*>(failure::try_reallocate_bytes(memory, 0, 1));
  ASSERT_NE(memory, nullptr);
  memory = static_cast<char*>(failure::try_reallocate_bytes(memory, 8, 1));
  ASSERT_NE(memory, nullptr);
  failure::free_bytes(memory);
}

TEST(raise_test, in_flight_between_raise_and_catch) {
  struct observer {
    bool* seen;
    ~observer() { *seen = failure::failure_in_flight(); }
  };
  bool seen_while_unwinding = false;
  const write_capture capture;
  static_cast<void>(raised_failure([&] {
                      const observer watch{&seen_while_unwinding};
                      raise_failure("Failed to read line!");
                    }).value());
  EXPECT_TRUE(seen_while_unwinding);
  EXPECT_FALSE(failure::failure_in_flight());
}

TEST(raise_test, resumed_failure_writes_no_report) {
  const write_capture capture;
  const read_failure failure =
      raised_failure([] { failure::resume_failure(string("from Python")); }).value();
  EXPECT_EQ(std::string_view(failure.message()), "from Python");
  EXPECT_EQ(capture.calls(STDERR_FILENO), 0U);
}

} // namespace
} // namespace korvane
