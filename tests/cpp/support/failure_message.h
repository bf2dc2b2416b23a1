// tests/cpp/support/failure_message.h: the message of the read_failure a call raises
#pragma once

#include <korvane/read_failure.h>
#include <optional>
#include <string>

namespace korvane::testing {

/// The message of the read_failure that call raises, or nothing if it returns normally.
template <class Call>
std::optional<std::string> failure_message(Call&& call) {
  try {
    call();
  } catch (const read_failure& failure) {
    return std::string(failure.message());
  }
  return std::nullopt;
}

} // namespace korvane::testing
