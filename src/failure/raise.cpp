// src/failure/raise.cpp: raising fatal failures (the report on standard error is still to come)
#include <korvane/read_failure.h>

#include "io_error_text.h"

namespace korvane {

void raise_failure(std::string_view message, failure_location where) {
  throw read_failure(string(message), where);
}

void raise_failure(std::string_view text, std::string_view description, failure_location where) {
  string message(text);
  message += ": ";
  message += description;
  throw read_failure(std::move(message), where);
}

void raise_failure(std::string_view text, const io_error& error, failure_location where) {
  raise_failure(text, failure::debug_description(error), where);
}

} // namespace korvane
