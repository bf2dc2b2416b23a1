// src/failure/print_failure.h: whole-text writes to a standard stream, failing as "failed printing"
#pragma once

#include <korvane/read_failure.h>
#include <string_view>

namespace korvane::failure {

/// Writes all of text to fd, repeating interrupted and partial writes. A closed descriptor loses
/// the text silently; any other failure raises "failed printing to ", stream_name, ": " and the
/// error's display form, located at where.
void print_or_raise(int fd, std::string_view stream_name, std::string_view text,
                    failure_location where);

} // namespace korvane::failure
