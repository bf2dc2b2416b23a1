// src/failure/raise.h: the last step of every raise, shared by the raise functions
#pragma once

#include "report.h"

#include <korvane/read_failure.h>
#include <korvane/string.h>
#include <utility>

namespace korvane::failure {

/// Reports the composed failure (unless failures are quiet) and throws it as read_failure; raised
/// by a destructor while another failure unwinds, it reports with a full backtrace and aborts
/// instead.
[[noreturn]] void carry_failure(string message, failure_location where, const read_site& site = {},
                                const io_error& error = io_error::from_os(0));

/// The message of a failure raised at where, as compose(message) writes it. Composing can itself
/// fail (an allocation, a lookup of the system's text): a failure raised while composing aborts,
/// and so does a raise while the thread already composes another failure's message.
template <class Compose>
[[nodiscard]] string composed_message(Compose&& compose, failure_location where) {
  abort_if_composing({}, where);
  string message;
  {
    const composing_scope composing;
    std::forward<Compose>(compose)(message);
  }
  return message;
}

} // namespace korvane::failure
