// src/text/simulation_line.cpp: a whole data line of ten fields in the simulation's layout, read
// with vector instructions where the processor has them
//
// Two fields go in one 256-bit register, one in each 128-bit half, first byte lowest. Their bytes
// are checked against the layout all at once; the digits and the signs are then gathered into a
// fixed order and summed by weighted byte and word additions, which gives every field its
// mantissa w (below 2^30) in three parts and an index into a table of powers of ten. Four fields
// at a time are then scaled in double precision and rounded to float:
//
// - For |q| <= 22, 10^|q| is a double, and d = w * 10^q or w / 10^-q is one correctly rounded
//   operation: d is the double nearest to x = w * 10^q. Every float midpoint m is a double, so
//   rounding keeps x and d on the same side of m or puts d on it: when d is no midpoint, x lies
//   between the same two midpoints as d, and (float)d is the float nearest to x. When d is a
//   midpoint and the remainder w * 10^q - d (or d * 10^-q - w), taken exactly by one fused
//   multiply-add, is zero, x is that midpoint and (float)d rounds it to even, as it must.
// - For any other q, d = w * P with P the double nearest to 10^q, trusted where scaled_in_double
//   trusts it: more than 4 units from every midpoint.
//
// A doubtful midpoint, a power or a value outside those ranges declines the whole line, which
// then takes the field-by-field path.
#include "simulation_line.h"

#include "field_layout.h"

#include <array>
#include <cstdint>
#include <immintrin.h>
#include <limits>

namespace korvane::text {

namespace {

// A field's byte positions, for fields of width bytes in the layout " d.dddddE+dd".
template <unsigned width>
struct positions {
  static_assert(width >= 12 && width <= 15, "the mantissa's digits must fit in nine");
  static constexpr unsigned lead = 0;
  static constexpr unsigned first_digit = 1;
  static constexpr unsigned point = 2;
  static constexpr unsigned fraction_digits = width - 7;
  static constexpr unsigned mark = width - 4;
  static constexpr unsigned exponent_sign = width - 3;
  static constexpr unsigned exponent_digits = width - 2;
  static constexpr std::uint32_t field_bits = (1U << width) - 1;
  // One bit per byte of both halves: the field's bytes.
  static constexpr std::uint32_t both_fields = field_bits | (field_bits << 16);
};

// Sixteen bytes, the same in both halves of a register.
using byte_row = std::array<char, 16>;

// A row for both halves, laid out as a register loads it: one load, which the compiler can fold
// into the instruction that uses it.
struct alignas(32) register_row {
  std::array<char, 32> bytes;
};

constexpr register_row doubled(const byte_row& row) noexcept {
  register_row both{};
  for (std::size_t i = 0; i < row.size(); ++i) {
    both.bytes[i] = row[i];
    both.bytes[i + row.size()] = row[i];
  }
  return both;
}

[[gnu::target("avx2,fma")]] __m256i broadcast(const register_row& row) noexcept {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(row.bytes.data()));
}

// 0xFF at the given positions, 0 elsewhere.
template <unsigned... at>
constexpr byte_row marks() noexcept {
  byte_row row{};
  ((row[at] = static_cast<char>(0xFF)), ...);
  return row;
}

template <unsigned width>
constexpr byte_row digit_marks() noexcept {
  using p = positions<width>;
  byte_row row = marks<p::first_digit, p::exponent_digits, p::exponent_digits + 1>();
  for (unsigned i = 0; i < p::fraction_digits; ++i) {
    row[p::point + 1 + i] = static_cast<char>(0xFF);
  }
  return row;
}

// Where the shuffle takes each byte of the fixed order from; 0x80 gives zero. The fixed order:
// bytes 0 to 7 the mantissa's last eight digits, right-aligned; byte 8 its ninth digit from the
// end, if any; byte 10 the lead's minus flag; byte 12 the exponent sign's minus flag; bytes 14
// and 15 the exponent's digits.
template <unsigned width>
constexpr byte_row gather_order() noexcept {
  using p = positions<width>;
  constexpr char none = static_cast<char>(0x80);
  byte_row row{};
  row.fill(none);
  // The mantissa's digits, last first: the fraction's from its end, then the first digit.
  unsigned slot = 8;
  for (unsigned i = p::fraction_digits; i > 0; --i) {
    row[--slot] = static_cast<char>(p::point + i);
  }
  row[slot == 0 ? 8 : slot - 1] = static_cast<char>(p::first_digit);
  row[10] = static_cast<char>(p::lead);
  row[12] = static_cast<char>(p::exponent_sign);
  row[14] = static_cast<char>(p::exponent_digits);
  row[15] = static_cast<char>(p::exponent_digits + 1);
  return row;
}

// Byte weights of the first sum, a pair of bytes to a 16-bit word: two digits each in words 0 to
// 3, then the ninth digit, the lead's flag, the exponent's flag and the exponent alone.
constexpr register_row digit_pair_weights =
    doubled({10, 1, 10, 1, 10, 1, 10, 1, 1, 0, 1, 0, 1, 0, 10, 1});

// Word weights of the second sum, a pair of words to a 32-bit part: the upper four and the lower
// four of the last eight digits, the ninth digit with 16 times the lead's flag, and the exponent
// with 128 times its sign's flag, the index of its power of ten.
[[gnu::target("avx2,fma")]] __m256i word_pair_weights() noexcept {
  return _mm256_setr_epi16(100, 1, 100, 1, 1, 16, 128, 1, 100, 1, 100, 1, 1, 16, 128, 1);
}

constexpr unsigned lead_flag_shift = 4;
constexpr int negative_exponent_index = 128;

constexpr int largest_exact_power = detail::largest_exact_power;

// Entry e, and entry 128 + e, for the power of ten q = e - f and q = -e - f (f fraction digits):
// for q from -22 to -1, 10^-q, which divides; for every other q the double nearest to 10^q,
// which multiplies; NaN where scaled_in_double would leave the power to the slower methods, so
// that the product is NaN and the line is declined.
template <unsigned width>
constexpr std::array<double, 256> power_table() noexcept {
  constexpr int fraction_digits = static_cast<int>(positions<width>::fraction_digits);
  std::array<double, 256> table{};
  table.fill(std::numeric_limits<double>::quiet_NaN());
  for (int e = 0; e < 100; ++e) {
    for (const int sign : {1, -1}) {
      const int power = sign * e - fraction_digits;
      const int stored = power < 0 && power >= -largest_exact_power ? -power : power;
      if (stored >= detail::smallest_scaled_power && stored <= detail::largest_scaled_power) {
        table[static_cast<std::size_t>(e + (sign < 0 ? negative_exponent_index : 0))] =
            detail::double_powers_of_ten[static_cast<std::size_t>(stored -
                                                                  detail::smallest_scaled_power)];
      }
    }
  }
  return table;
}

// Biased exponents of 2^-125 and 2^126, the binades where a double's float is trusted.
constexpr long long lowest_binade = 1023 - 125;
constexpr long long binade_span = 251;

template <unsigned width>
constexpr std::array<double, 256> powers_for = power_table<width>();

// The rows, computed when compiling.
template <unsigned width>
constexpr register_row digit_places = doubled(digit_marks<width>());
template <unsigned width>
constexpr register_row gather_places = doubled(gather_order<width>());
template <unsigned... at>
constexpr register_row places = doubled(marks<at...>());

// Two fields per register, from line + first * width on.
template <unsigned width>
[[gnu::target("avx2,fma")]] __m256i load_pair(const char* line, unsigned first) noexcept {
  const auto* low = reinterpret_cast<const __m128i*>(line + first * width);
  const auto* high = reinterpret_cast<const __m128i*>(line + (first + 1) * width);
  return _mm256_loadu2_m128i(high, low);
}

[[gnu::target("avx2,fma")]] __m256i bytes_equal(__m256i bytes, char c) noexcept {
  return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(c));
}

// The classes of the layout's bytes, one bit each.
enum byte_class : char {
  digit = 1,
  point = 2,
  exponent_mark = 4,
  sign = 8,
  space = 16,
};

// A byte's classes are its high nibble's entry and its low nibble's entry together: '0' to '9'
// are 0x30 to 0x39, '.' 0x2E, '+' 0x2B, '-' 0x2D, ' ' 0x20, 'E' 0x45 and 'e' 0x65. No other byte
// gets a class; bytes from 0x80 have a high nibble without entry.
constexpr register_row high_nibble_classes =
    doubled({0, 0, point | sign | space, digit, exponent_mark, 0, exponent_mark, 0, 0, 0, 0, 0, 0,
             0, 0, 0});
constexpr register_row low_nibble_classes =
    doubled({digit | space, digit, digit, digit, digit, digit | exponent_mark, digit, digit, digit,
             digit, 0, sign, 0, sign, point, 0});

// The classes each of a field's bytes may have.
template <unsigned width>
constexpr byte_row expected_classes() noexcept {
  using p = positions<width>;
  byte_row row{};
  for (unsigned i = 0; i < width; ++i) {
    row[i] = digit;
  }
  row[p::lead] = sign | space;
  row[p::point] = point;
  row[p::mark] = exponent_mark;
  row[p::exponent_sign] = sign;
  return row;
}

template <unsigned width>
constexpr register_row expected_places = doubled(expected_classes<width>());

// Whether both fields have the layout, byte for byte.
template <unsigned width>
[[gnu::target("avx2,fma")]] bool both_in_layout(__m256i bytes) noexcept {
  const __m256i low_nibbles = _mm256_and_si256(bytes, _mm256_set1_epi8(0x0F));
  const __m256i high_nibbles =
      _mm256_and_si256(_mm256_srli_epi16(bytes, 4), _mm256_set1_epi8(0x0F));
  const __m256i classes =
      _mm256_and_si256(_mm256_shuffle_epi8(broadcast(high_nibble_classes), high_nibbles),
                       _mm256_shuffle_epi8(broadcast(low_nibble_classes), low_nibbles));
  const __m256i misfits = _mm256_cmpeq_epi8(
      _mm256_and_si256(classes, broadcast(expected_places<width>)), _mm256_setzero_si256());
  const auto misfitting = static_cast<std::uint32_t>(_mm256_movemask_epi8(misfits));
  return (misfitting & positions<width>::both_fields) == 0;
}

// Per field, the four 32-bit parts: upper and lower four of the mantissa's last eight digits,
// its ninth digit plus 16 times the lead's minus flag, the index of the power of ten.
template <unsigned width>
[[gnu::target("avx2,fma")]] __m256i field_parts(__m256i bytes, __m256i digit_values) noexcept {
  using p = positions<width>;
  const __m256i digits = _mm256_and_si256(digit_values, broadcast(digit_places<width>));
  const __m256i minus_flags = _mm256_and_si256(bytes_equal(bytes, '-'), _mm256_set1_epi8(1));
  const __m256i values = _mm256_or_si256(
      digits, _mm256_and_si256(minus_flags, broadcast(places<p::lead, p::exponent_sign>)));
  const __m256i ordered = _mm256_shuffle_epi8(values, broadcast(gather_places<width>));
  const __m256i pairs = _mm256_maddubs_epi16(ordered, broadcast(digit_pair_weights));
  return _mm256_madd_epi16(pairs, word_pair_weights());
}

// A mask of four 64-bit lanes from four 32-bit ones.
[[gnu::target("avx2,fma")]] __m256i widened(__m128i mask) noexcept {
  return _mm256_cvtepi32_epi64(mask);
}

// Each of four 32-bit integers lies in [low, high].
[[gnu::target("avx2,fma")]] __m128i within(__m128i value, int low, int high) noexcept {
  return _mm_andnot_si128(_mm_or_si128(_mm_cmpgt_epi32(_mm_set1_epi32(low), value),
                                       _mm_cmpgt_epi32(value, _mm_set1_epi32(high))),
                          _mm_set1_epi32(-1));
}

// The values of four fields, from the parts of fields (a, b) and (c, d); false when one of them
// is left to the exact methods.
template <unsigned width>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline bool
four_values(__m256i first_pair, __m256i second_pair, __m128& values) noexcept {
  // Per half: parts 0 and 1 of the two pairs' fields, then parts 2 and 3; fields in the order
  // a, c, b, d once the halves are joined.
  const __m256i order = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
  const __m256i digit_parts =
      _mm256_permutevar8x32_epi32(_mm256_unpacklo_epi32(first_pair, second_pair), order);
  const __m256i other_parts =
      _mm256_permutevar8x32_epi32(_mm256_unpackhi_epi32(first_pair, second_pair), order);
  const __m128i ninth_and_lead = _mm256_castsi256_si128(other_parts);
  const __m128i power_index = _mm256_extracti128_si256(other_parts, 1);
  const __m256d upper = _mm256_cvtepi32_pd(_mm256_castsi256_si128(digit_parts));
  const __m256d lower = _mm256_cvtepi32_pd(_mm256_extracti128_si256(digit_parts, 1));
  const __m256d ninth =
      _mm256_cvtepi32_pd(_mm_and_si128(ninth_and_lead, _mm_set1_epi32((1 << lead_flag_shift) - 1)));
  // Integers below 2^30: every step is exact.
  const __m256d mantissa = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(ninth, _mm256_set1_pd(1e8)),
                                                       _mm256_mul_pd(upper, _mm256_set1_pd(1e4))),
                                         lower);

  // The power of ten q from the index 128 * sign + exponent: (exponent ^ -sign) + sign is the
  // exponent, negated when the sign is 1.
  const __m128i negative = _mm_srli_epi32(power_index, 7);
  const __m128i exponent = _mm_and_si128(power_index, _mm_set1_epi32(negative_exponent_index - 1));
  const __m128i power = _mm_sub_epi32(
      _mm_add_epi32(_mm_xor_si128(exponent, _mm_sub_epi32(_mm_setzero_si128(), negative)),
                    negative),
      _mm_set1_epi32(static_cast<int>(positions<width>::fraction_digits)));
  const __m256i exact_power = widened(within(power, -largest_exact_power, largest_exact_power));
  const __m256d divides = _mm256_castsi256_pd(widened(within(power, -largest_exact_power, -1)));

  const __m256d scale =
      _mm256_mask_i32gather_pd(_mm256_setzero_pd(), powers_for<width>.data(), power_index,
                               _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), sizeof(double));
  const __m256d scaled =
      _mm256_blendv_pd(_mm256_mul_pd(mantissa, scale), _mm256_div_pd(mantissa, scale), divides);
  const __m256i bits = _mm256_castpd_si256(scaled);

  // A binade among the normal floats', or zero.
  const __m256i binade =
      _mm256_sub_epi64(_mm256_srli_epi64(bits, 52), _mm256_set1_epi64x(lowest_binade));
  const __m256i outside =
      _mm256_or_si256(_mm256_cmpgt_epi64(binade, _mm256_set1_epi64x(binade_span)),
                      _mm256_cmpgt_epi64(_mm256_setzero_si256(), binade));
  const __m256i zero = _mm256_castpd_si256(_mm256_cmp_pd(scaled, _mm256_setzero_pd(), _CMP_EQ_OQ));

  // The 29 bits below a float's precision, against a midpoint's.
  const __m256i below_float = _mm256_and_si256(
      bits, _mm256_set1_epi64x(static_cast<long long>(detail::below_float_precision)));
  // Rounded once: doubtful only at a midpoint that the product or quotient is not exactly.
  const __m256i at_midpoint = _mm256_cmpeq_epi64(
      below_float, _mm256_set1_epi64x(static_cast<long long>(detail::float_midpoint_pattern)));
  const __m256d remainder = _mm256_blendv_pd(_mm256_fmsub_pd(mantissa, scale, scaled),
                                             _mm256_fmsub_pd(scaled, scale, mantissa), divides);
  const __m256i inexact =
      _mm256_castpd_si256(_mm256_cmp_pd(remainder, _mm256_setzero_pd(), _CMP_NEQ_UQ));
  const __m256i doubtful_tie = _mm256_and_si256(at_midpoint, inexact);
  // Rounded twice: doubtful within the guard of a midpoint.
  const __m256i from_guard =
      _mm256_sub_epi64(below_float, _mm256_set1_epi64x(static_cast<long long>(
                                        detail::float_midpoint_pattern - detail::midpoint_guard)));
  const __m256i near_midpoint = _mm256_andnot_si256(
      _mm256_or_si256(
          _mm256_cmpgt_epi64(from_guard, _mm256_set1_epi64x(2 * detail::midpoint_guard)),
          _mm256_cmpgt_epi64(_mm256_setzero_si256(), from_guard)),
      _mm256_set1_epi64x(-1));

  const __m256i declined =
      _mm256_or_si256(_mm256_andnot_si256(zero, outside),
                      _mm256_blendv_epi8(near_midpoint, doubtful_tie, exact_power));
  if (_mm256_movemask_pd(_mm256_castsi256_pd(declined)) != 0) {
    return false;
  }
  const __m128i sign = _mm_slli_epi32(_mm_srli_epi32(ninth_and_lead, lead_flag_shift), 31);
  const __m128 rounded = _mm_xor_ps(_mm256_cvtpd_ps(scaled), _mm_castsi128_ps(sign));
  // Back from a, c, b, d to a, b, c, d.
  values = _mm_shuffle_ps(rounded, rounded, _MM_SHUFFLE(3, 1, 2, 0));
  return true;
}

template <unsigned width>
[[gnu::target("avx2,fma")]] bool read_simulation_line(const char* line, float* values) noexcept {
  constexpr unsigned pair_count = simulation_line_fields / 2;
  __m256i parts[pair_count];
  bool in_layout = true;
  for (unsigned i = 0; i < pair_count; ++i) {
    const __m256i bytes = load_pair<width>(line, 2 * i);
    const __m256i digit_values = _mm256_sub_epi8(bytes, _mm256_set1_epi8('0'));
    in_layout &= both_in_layout<width>(bytes);
    parts[i] = field_parts<width>(bytes, digit_values);
  }
  if (!in_layout) {
    return false;
  }
  __m128 first;
  __m128 second;
  __m128 last;
  // The last two fields are paired with themselves, and half of that result is used.
  if (!four_values<width>(parts[0], parts[1], first) ||
      !four_values<width>(parts[2], parts[3], second) ||
      !four_values<width>(parts[4], parts[4], last)) {
    return false;
  }
  _mm_storeu_ps(values, first);
  _mm_storeu_ps(values + 4, second);
  _mm_storel_pi(reinterpret_cast<__m64*>(values + 8), last);
  return true;
}

} // namespace

simulation_line_reader simulation_line_reader_for(unsigned width) noexcept {
  if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) {
    return nullptr;
  }
  switch (width) {
  case 12:
    return &read_simulation_line<12>;
  case 15:
    return &read_simulation_line<15>;
  default:
    return nullptr;
  }
}

} // namespace korvane::text
