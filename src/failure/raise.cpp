// src/failure/raise.cpp: raising fatal failures, each reported on standard error before it unwinds
#include "raise.h"

#include "io_error_text.h"
#include "report.h"

#include <exception>
#include <utility>

namespace korvane {

namespace {

thread_local bool failures_are_quiet = false;

} // namespace

quiet_failures::quiet_failures() noexcept : was_active_(std::exchange(failures_are_quiet, true)) {}

quiet_failures::~quiet_failures() {
  failures_are_quiet = was_active_;
}

bool quiet_failures::active() noexcept {
  return failures_are_quiet;
}

namespace failure {

void carry_failure(string message, failure_location where, const read_site& site,
                   const io_error& error) {
  if (std::uncaught_exceptions() > 0) {
    // A second exception leaving a destructor during unwinding would end in std::terminate
    // without a word; this failure cannot travel, so it is reported and ends the process.
    write_report(message, where, backtrace_style::full);
    abort_after_cleanup_failure();
  }
  if (!failures_are_quiet) {
    write_report(message, where, process_backtrace_style());
  }
  throw read_failure(std::move(message), where, site, error);
}

} // namespace failure

void raise_failure(std::string_view message, const read_site& site, failure_location where) {
  failure::abort_if_composing(message, where);
  failure::carry_failure(string(message), where, site);
}

void raise_failure(std::string_view text, std::string_view description, const read_site& site,
                   failure_location where) {
  const auto compose = [&](string& message) {
    message.append(text).append(": ").append(description);
  };
  failure::carry_failure(failure::composed_message(compose, where), where, site);
}

void raise_failure(std::string_view text, const io_error& error, const read_site& site,
                   failure_location where) {
  const auto compose = [&](string& message) {
    message.append(text).append(": ").append(failure::debug_description(error));
  };
  failure::carry_failure(failure::composed_message(compose, where), where, site, error);
}

} // namespace korvane
