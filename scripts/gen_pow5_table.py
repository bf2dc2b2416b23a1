#!/usr/bin/env python3
"""Writes src/text/pow5_table.cpp: 5^q for q in [-342, 308], each as a 128-bit significand.

Entry q holds floor(5^q * 2^(127 - floor(log2(5^q)))), which lies in [2^127, 2^128): the leading
128 bits of 5^q, truncated. Entries for 0 <= q <= 55 are exact, since 5^55 < 2^128.

Usage: gen_pow5_table.py OUTPUT      writes the table to OUTPUT
       gen_pow5_table.py --check FILE exits with status 1 when FILE differs from the table
"""

import sys

SMALLEST_POWER = -342
LARGEST_POWER = 308


def floor_log2_pow5(q):
    """floor(log2(5^q)), exactly."""
    if q >= 0:
        return (5**q).bit_length() - 1
    # 5^-q is no power of two, so log2(5^q) = -log2(5^-q) lies strictly between two integers.
    return -(5 ** (-q)).bit_length()


def significand(q):
    """The leading 128 bits of 5^q, truncated."""
    shift = 127 - floor_log2_pow5(q)
    if q >= 0:
        return (5**q << shift) if shift >= 0 else (5**q >> -shift)
    return (1 << shift) // 5 ** (-q)


def check_log2_approximation():
    """The conversion takes floor(log2(5^q)) as 152170 * q >> 16 (152170 / 2^16 ~ log2(5))."""
    for q in range(SMALLEST_POWER, LARGEST_POWER + 1):
        if 152170 * q >> 16 != floor_log2_pow5(q):
            sys.exit(f"floor(log2(5^{q})) is not 152170 * q >> 16")


def render():
    lines = [
        "// src/text/pow5_table.cpp: the 128-bit powers of five, "
        "written by scripts/gen_pow5_table.py",
        '#include "pow5_table.h"',
        "",
        "namespace korvane::text::detail {",
        "",
        "// clang-format off",
        "constinit const std::array<power_of_five, power_of_five_count> POWER_OF_FIVE_128 = {{",
    ]
    for q in range(SMALLEST_POWER, LARGEST_POWER + 1):
        value = significand(q)
        assert 1 << 127 <= value < 1 << 128
        high, low = value >> 64, value & ((1 << 64) - 1)
        lines.append(f"    {{0x{high:016x}, 0x{low:016x}}}, // 5^{q}")
    lines += ["}};", "// clang-format on", "", "} // namespace korvane::text::detail", ""]
    return "\n".join(lines)


def main(argv):
    check_log2_approximation()
    table = render()
    if len(argv) == 3 and argv[1] == "--check":
        with open(argv[2], encoding="utf-8") as committed:
            if committed.read() != table:
                sys.exit(f"{argv[2]} differs from the output of {argv[0]}")
        return
    if len(argv) != 2:
        sys.exit(__doc__)
    with open(argv[1], "w", encoding="utf-8") as out:
        out.write(table)


if __name__ == "__main__":
    main(sys.argv)
