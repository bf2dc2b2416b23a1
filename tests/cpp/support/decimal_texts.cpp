// tests/cpp/support/decimal_texts.cpp: random decimal forms for comparing float conversions
#include "support/decimal_texts.h"

namespace korvane::testing {

int decimal_texts::uniform(int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random_);
}

bool decimal_texts::one_in(int n) {
  return uniform(1, n) == 1;
}

std::string decimal_texts::digits(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += static_cast<char>('0' + uniform(0, 9));
  }
  return text;
}

std::string decimal_texts::render(std::string_view digits, std::int64_t exponent) {
  std::string text;
  const int sign = uniform(0, 2);
  if (sign != 0) {
    text += sign == 1 ? '+' : '-';
  }
  const auto count = static_cast<int>(digits.size());
  const int point = one_in(5) ? count : uniform(0, count);
  const bool has_point = point < count || !one_in(3);
  text.append(static_cast<std::size_t>(one_in(4) ? uniform(1, 3) : 0), '0');
  text.append(digits.substr(0, static_cast<std::size_t>(point)));
  std::int64_t scale = count - point;
  if (has_point) {
    text += '.';
    if (point == 0 && one_in(2)) {
      const int zeros = uniform(1, 5);
      text.append(static_cast<std::size_t>(zeros), '0');
      scale += zeros;
    }
    text.append(digits.substr(static_cast<std::size_t>(point)));
    text.append(static_cast<std::size_t>(one_in(4) ? uniform(1, 3) : 0), '0');
  }
  return text + exponent_part(exponent + scale);
}

std::string decimal_texts::exponent_part(std::int64_t exponent) {
  if (exponent == 0 && one_in(2)) {
    return {};
  }
  std::string text(1, one_in(2) ? 'e' : 'E');
  if (exponent < 0) {
    text += '-';
  } else if (one_in(2)) {
    text += '+';
  }
  text.append(static_cast<std::size_t>(one_in(4) ? uniform(1, 2) : 0), '0');
  return text + std::to_string(exponent < 0 ? -exponent : exponent);
}

} // namespace korvane::testing
