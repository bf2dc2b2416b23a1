// tests/cpp/failure/io_error_text_test.cpp: error kinds, system texts, debug and display forms
#include "failure/io_error_text.h"
#include "support/failure_message.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <korvane/read_failure.h>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace korvane::failure {
namespace {

// The printed kind names, in the order of the enumeration.
constexpr std::array<std::string_view, 42> kind_names = {
    "NotFound",
    "PermissionDenied",
    "ConnectionRefused",
    "ConnectionReset",
    "HostUnreachable",
    "NetworkUnreachable",
    "ConnectionAborted",
    "NotConnected",
    "AddrInUse",
    "AddrNotAvailable",
    "NetworkDown",
    "BrokenPipe",
    "AlreadyExists",
    "WouldBlock",
    "NotADirectory",
    "IsADirectory",
    "DirectoryNotEmpty",
    "ReadOnlyFilesystem",
    "FilesystemLoop",
    "StaleNetworkFileHandle",
    "InvalidInput",
    "InvalidData",
    "TimedOut",
    "WriteZero",
    "StorageFull",
    "NotSeekable",
    "QuotaExceeded",
    "FileTooLarge",
    "ResourceBusy",
    "ExecutableFileBusy",
    "Deadlock",
    "CrossesDevices",
    "TooManyLinks",
    "InvalidFilename",
    "ArgumentListTooLong",
    "Interrupted",
    "Unsupported",
    "UnexpectedEof",
    "OutOfMemory",
    "InProgress",
    "Other",
    "Uncategorized",
};

// "not_a_directory" -> "NotADirectory".
std::string camel_case(const std::string& snake) {
  std::string out;
  bool upper = true;
  for (const char c : snake) {
    if (c == '_') {
      upper = true;
    } else {
      out += upper ? static_cast<char>(c - 'a' + 'A') : c;
      upper = false;
    }
  }
  return out;
}

// The enumerators of error_kind, in the order the shared header declares them.
std::vector<std::string> header_enumerators() {
  std::ifstream header(KORVANE_SOURCE_DIR "/include/korvane/io_error.h");
  std::stringstream text;
  text << header.rdbuf();
  const std::string source = text.str();
  const std::size_t open = source.find('{', source.find("enum class error_kind"));
  const std::size_t close = source.find('}', open);
  if (open == std::string::npos || close == std::string::npos) {
    return {};
  }
  std::vector<std::string> names;
  std::istringstream list(source.substr(open + 1, close - open - 1));
  for (std::string item; std::getline(list, item, ',');) {
    std::erase_if(item, [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
    if (!item.empty()) {
      names.push_back(item);
    }
  }
  return names;
}

TEST(io_error_text_test, kind_names_follow_the_enumeration) {
  const std::vector<std::string> enumerators = header_enumerators();
  ASSERT_EQ(enumerators.size(), kind_names.size());
  for (std::size_t i = 0; i < kind_names.size(); ++i) {
    EXPECT_EQ(camel_case(enumerators[i]), kind_names[i]) << i;
    EXPECT_EQ(error_kind_name(static_cast<error_kind>(i)), kind_names[i]) << i;
  }
}

TEST(io_error_text_test, decodes_linux_error_numbers) {
  struct decode_case {
    int code;
    std::string_view kind;
  };
  const decode_case table[] = {
      {1, "PermissionDenied"},    {2, "NotFound"},
      {4, "Interrupted"},         {7, "ArgumentListTooLong"},
      {11, "WouldBlock"},         {12, "OutOfMemory"},
      {13, "PermissionDenied"},   {16, "ResourceBusy"},
      {17, "AlreadyExists"},      {18, "CrossesDevices"},
      {20, "NotADirectory"},      {21, "IsADirectory"},
      {22, "InvalidInput"},       {26, "ExecutableFileBusy"},
      {27, "FileTooLarge"},       {28, "StorageFull"},
      {29, "NotSeekable"},        {30, "ReadOnlyFilesystem"},
      {31, "TooManyLinks"},       {32, "BrokenPipe"},
      {35, "Deadlock"},           {36, "InvalidFilename"},
      {38, "Unsupported"},        {39, "DirectoryNotEmpty"},
      {40, "FilesystemLoop"},     {95, "Unsupported"},
      {98, "AddrInUse"},          {99, "AddrNotAvailable"},
      {100, "NetworkDown"},       {101, "NetworkUnreachable"},
      {103, "ConnectionAborted"}, {104, "ConnectionReset"},
      {107, "NotConnected"},      {110, "TimedOut"},
      {111, "ConnectionRefused"}, {113, "HostUnreachable"},
      {115, "InProgress"},        {116, "StaleNetworkFileHandle"},
      {122, "QuotaExceeded"},
  };
  for (int code = -300; code <= 300; ++code) {
    std::string_view expected = "Uncategorized";
    for (const decode_case& row : table) {
      if (row.code == code) {
        expected = row.kind;
      }
    }
    EXPECT_EQ(error_kind_name(decode_error_kind(code)), expected) << code;
  }
  EXPECT_EQ(decode_error_kind(std::numeric_limits<int>::min()), error_kind::uncategorized);
  EXPECT_EQ(decode_error_kind(std::numeric_limits<int>::max()), error_kind::uncategorized);
}

TEST(io_error_text_test, kind_of_either_form) {
  EXPECT_EQ(kind_of(io_error::from_os(21)), error_kind::is_a_directory);
  EXPECT_EQ(kind_of(io_error::from_os(5)), error_kind::uncategorized);
  EXPECT_EQ(kind_of(io_error::fixed(error_kind::write_zero, "failed to write whole buffer")),
            error_kind::write_zero);
}

struct form_case {
  io_error error;
  const char* debug;
  const char* display;
};

TEST(io_error_text_test, debug_and_display_forms) {
  const form_case cases[] = {
      {io_error::from_os(2),
       R"(Os { code: 2, kind: NotFound, message: "No such file or directory" })",
       "No such file or directory (os error 2)"},
      {io_error::from_os(21), R"(Os { code: 21, kind: IsADirectory, message: "Is a directory" })",
       "Is a directory (os error 21)"},
      {io_error::from_os(13),
       R"(Os { code: 13, kind: PermissionDenied, message: "Permission denied" })",
       "Permission denied (os error 13)"},
      {io_error::from_os(5),
       R"(Os { code: 5, kind: Uncategorized, message: "Input/output error" })",
       "Input/output error (os error 5)"},
      {io_error::from_os(-1),
       R"(Os { code: -1, kind: Uncategorized, message: "Unknown error -1" })",
       "Unknown error -1 (os error -1)"},
      {io_error::from_os(4242),
       R"(Os { code: 4242, kind: Uncategorized, message: "Unknown error 4242" })",
       "Unknown error 4242 (os error 4242)"},
      {io_error::fixed(error_kind::invalid_data, "stream did not contain valid UTF-8"),
       R"(Error { kind: InvalidData, message: "stream did not contain valid UTF-8" })",
       "stream did not contain valid UTF-8"},
      {io_error::fixed(error_kind::invalid_input, "file name contained an unexpected NUL byte"),
       R"(Error { kind: InvalidInput, message: "file name contained an unexpected NUL byte" })",
       "file name contained an unexpected NUL byte"},
      {io_error::fixed(error_kind::write_zero, "a \"quoted\" \\ text"),
       R"(Error { kind: WriteZero, message: "a \"quoted\" \\ text" })", "a \"quoted\" \\ text"},
  };
  for (const form_case& c : cases) {
    EXPECT_EQ(debug_description(c.error), c.debug);
    EXPECT_EQ(display_form(c.error), c.display);
  }
}

// Swaps in another strerror_r for the life of the object.
class scoped_lookup {
public:
  explicit scoped_lookup(strerror_function lookup) noexcept : saved_(strerror_lookup) {
    strerror_lookup = lookup;
  }
  scoped_lookup(const scoped_lookup&) = delete;
  scoped_lookup& operator=(const scoped_lookup&) = delete;
  ~scoped_lookup() { strerror_lookup = saved_; }

private:
  strerror_function saved_;
};

int copy_text(const char* text, char* buffer, std::size_t size) {
  std::strncpy(buffer, text, size);
  return 0;
}

TEST(io_error_text_test, system_text_is_escaped_only_in_the_debug_form) {
  const scoped_lookup lookup([](int, char* buffer, std::size_t size) {
    return copy_text(R"(say "no" \ then 'go')", buffer, size);
  });
  EXPECT_EQ(debug_description(io_error::from_os(5)),
            R"(Os { code: 5, kind: Uncategorized, message: "say \"no\" \\ then 'go'" })");
  EXPECT_EQ(display_form(io_error::from_os(5)), R"(say "no" \ then 'go' (os error 5))");
}

TEST(io_error_text_test, system_text_replaces_invalid_utf8_and_escapes_controls) {
  const scoped_lookup lookup([](int, char* buffer, std::size_t size) {
    return copy_text("bad \xFF byte\tand \xC3\xA9\xE2\x82", buffer, size);
  });
  EXPECT_EQ(system_text(1), "bad \uFFFD byte\tand \u00E9\uFFFD");
  EXPECT_EQ(debug_description(io_error::from_os(1)),
            "Os { code: 1, kind: PermissionDenied, message: \"bad \uFFFD byte\\tand "
            "\u00E9\uFFFD\" }");
}

TEST(io_error_text_test, system_text_stops_at_127_bytes) {
  const scoped_lookup lookup([](int, char* buffer, std::size_t size) {
    std::memset(buffer, 'x', size);
    return 0;
  });
  EXPECT_EQ(std::string_view(system_text(1)), std::string(127, 'x'));
}

TEST(io_error_text_test, system_text_of_a_positive_status_is_kept) {
  // The C library answers EINVAL for a number it does not know, and still writes a text.
  const scoped_lookup lookup([](int, char* buffer, std::size_t size) {
    copy_text("Unknown error 777", buffer, size);
    return 22;
  });
  EXPECT_EQ(system_text(777), "Unknown error 777");
}

TEST(io_error_text_test, system_text_sees_a_zeroed_buffer_of_128_bytes) {
  const scoped_lookup lookup([](int, char* buffer, std::size_t size) {
    const bool zeroed =
        size == 128 && std::all_of(buffer, buffer + size, [](char c) { return c == 0; });
    buffer[0] = zeroed ? 'z' : 'n';
    return 0;
  });
  EXPECT_EQ(system_text(1), "z");
}

TEST(io_error_text_test, failed_lookup_is_a_fatal_failure) {
  const scoped_lookup lookup([](int, char*, std::size_t) { return -1; });
  const std::optional<read_failure> failure =
      testing::raised_failure([] { static_cast<void>(system_text(2)); });
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->message(), "strerror_r failure");
  EXPECT_STREQ(failure->where().file, "src/failure/io_error_text.cpp");
}

} // namespace
} // namespace korvane::failure
