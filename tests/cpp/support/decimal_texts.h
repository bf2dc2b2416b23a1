// tests/cpp/support/decimal_texts.h: random decimal forms for comparing float conversions
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace korvane::testing {

/// Makes decimal texts from a fixed seed: the same sequence on every run.
class decimal_texts {
public:
  /// A generator whose sequence the seed fixes.
  explicit decimal_texts(std::uint64_t seed) : random_(seed) {}

  /// A uniformly chosen integer in [low, high].
  int uniform(int low, int high);

  /// True with probability 1 / n.
  bool one_in(int n);

  /// count random decimal digits.
  std::string digits(int count);

  /// digits * 10^exponent written in a random way the decimal grammar accepts: a sign or none,
  /// the point anywhere or nowhere, leading and trailing zeros, an exponent part in any style.
  std::string render(std::string_view digits, std::int64_t exponent);

private:
  std::string exponent_part(std::int64_t exponent);

  std::mt19937_64 random_;
};

} // namespace korvane::testing
