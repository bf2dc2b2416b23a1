// src/text/float_parse.cpp: PLACEHOLDER until the project's own conversion lands
#include "float_parse.h"

#include <cstdlib>
#include <string>

namespace korvane::text {

f32_result parse_f32(std::string_view text) noexcept {
  if (text.empty()) {
    return {0.0F, float_error::empty};
  }
  std::string copy(text);
  char* end = nullptr;
  const float value = std::strtof(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) {
    return {0.0F, float_error::invalid};
  }
  return {value, float_error::none};
}

std::string_view describe(float_error error) noexcept {
  return error == float_error::empty ? "ParseFloatError { kind: Empty }"
                                     : "ParseFloatError { kind: Invalid }";
}

} // namespace korvane::text
