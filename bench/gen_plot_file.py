#!/usr/bin/env python3
"""Writes a synthetic TOLVERA plot file: fields in 1PE12.5 style (width 12) or 1PE15.8 (width 15)."""

import argparse
import math
import os
import random
import sys

DIGITS = {12: 5, 15: 8}
FIELDS_PER_LINE = 10


def field_formatter(width):
    digits = DIGITS[width]

    def fmt(value):
        return f"{value:{width}.{digits}E}"

    return fmt


def parameter_values(rng, count):
    """One slowly drifting value per parameter, of a magnitude of its own."""
    scales = [10.0 ** rng.randint(-8, 8) for _ in range(count)]
    signs = [rng.choice((-1.0, 1.0)) for _ in range(count)]
    phases = [rng.random() * math.tau for _ in range(count)]
    return scales, signs, phases


def write_plot_file(out, width, params, blocks, seed, exponent_span):
    rng = random.Random(seed)
    fmt = field_formatter(width)
    scales, signs, phases = parameter_values(rng, params)
    out.write(f" TOLVERA synthetic plot file {params:8d}\n")
    for i in range(params):
        out.write(f" PARAM{i:04d}\n")
    for block in range(blocks):
        time = block * 1.0e-3
        out.write(f" TIME ={time:{width}.{DIGITS[width]}E}  STEP{block + 1:9d}\n")
        values = [
            signs[i] * scales[i] * (1.5 + math.sin(phases[i] + time * (i + 1)) + rng.random() * 1e-3)
            for i in range(params)
        ]
        if exponent_span:
            # Every value a magnitude of its own, from 10^-span to 10^span.
            values = [v * 10.0 ** rng.randint(-exponent_span, exponent_span) for v in values]
        for first in range(0, params, FIELDS_PER_LINE):
            out.write("".join(fmt(v) for v in values[first:first + FIELDS_PER_LINE]))
            out.write("\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--width", type=int, choices=sorted(DIGITS), default=12)
    parser.add_argument("--params", type=int, default=100)
    parser.add_argument("--blocks", type=int, default=100)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--exponent-span", type=int, default=0,
                        help="scale each value by 10^k, k drawn from -N..N (0: no scaling)")
    parser.add_argument("--out", default="-", help="output path, - for standard output")
    args = parser.parse_args()
    if args.out == "-":
        write_plot_file(sys.stdout, args.width, args.params, args.blocks, args.seed,
                        args.exponent_span)
    else:
        # The output's folder (bench/data/, say) is made when missing: a clone has none.
        os.makedirs(os.path.dirname(args.out) or ".", exist_ok=True)
        with open(args.out, "w", encoding="ascii", newline="\n") as out:
            write_plot_file(out, args.width, args.params, args.blocks, args.seed,
                            args.exponent_span)


if __name__ == "__main__":
    main()
