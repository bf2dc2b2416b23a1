// tests/cpp/support/failure_message.h: the read_failure a call raises, and its message
#pragma once

#include <korvane/read_failure.h>
#include <optional>
#include <string>

namespace korvane::testing {

/// The read_failure that call raises, or nothing if it returns normally.
template <class Call>
std::optional<read_failure> raised_failure(Call&& call) {
  try {
    call();
  } catch (const read_failure& failure) {
    return failure;
  }
  return std::nullopt;
}

/// The message of the read_failure that call raises, or nothing if it returns normally.
template <class Call>
std::optional<std::string> failure_message(Call&& call) {
  const std::optional<read_failure> failure = raised_failure(call);
  if (!failure) {
    return std::nullopt;
  }
  return std::string(failure->message());
}

} // namespace korvane::testing
