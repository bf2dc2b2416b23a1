// tests/cpp/support/exact_decimal.cpp: exact decimal expansions of binary fractions
#include "support/exact_decimal.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace korvane::testing {
namespace {

// A nonnegative integer in base 10^9, least significant limb first.
class big_integer {
public:
  explicit big_integer(std::uint64_t value) {
    do {
      limbs_.push_back(static_cast<std::uint32_t>(value % base));
      value /= base;
    } while (value != 0);
  }

  void multiply(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : limbs_) {
      const std::uint64_t product = std::uint64_t{limb} * factor + carry;
      limb = static_cast<std::uint32_t>(product % base);
      carry = product / base;
    }
    if (carry != 0) {
      limbs_.push_back(static_cast<std::uint32_t>(carry));
    }
  }

  [[nodiscard]] std::string to_string() const {
    std::string text = std::to_string(limbs_.back());
    for (auto limb = limbs_.rbegin() + 1; limb != limbs_.rend(); ++limb) {
      const std::string part = std::to_string(*limb);
      text.append(9 - part.size(), '0').append(part);
    }
    return text;
  }

private:
  static constexpr std::uint32_t base = 1000000000;
  std::vector<std::uint32_t> limbs_;
};

} // namespace

exact_decimal expand_binary(std::uint64_t significand, int binary_exponent) {
  big_integer value(significand);
  // m * 2^-k = m * 5^k * 10^-k
  const std::uint32_t factor = binary_exponent >= 0 ? 2 : 5;
  for (int i = 0; i < std::abs(binary_exponent); ++i) {
    value.multiply(factor);
  }
  return {value.to_string(), std::min(binary_exponent, 0)};
}

exact_decimal append_digits(exact_decimal number, std::string_view more) {
  number.digits.append(more);
  number.exponent -= static_cast<int>(more.size());
  return number;
}

exact_decimal minus_last_unit(exact_decimal number) {
  auto digit = number.digits.rbegin();
  for (; *digit == '0'; ++digit) {
    *digit = '9';
  }
  --*digit;
  if (number.digits.size() > 1 && number.digits.front() == '0') {
    number.digits.erase(0, 1);
  }
  return number;
}

std::string to_text(const exact_decimal& number) {
  return number.digits + "e" + std::to_string(number.exponent);
}

} // namespace korvane::testing
