#!/usr/bin/env python3
"""Reads of parts of a large plot file against the full read, side by side in one process, with
the file in the page cache: the last 1000 blocks, every 100th block, and the count of blocks that
open_plot indexes. Make the file with gen_plot_file.py (under bench/data/, which git ignores)."""

import argparse
import os
import sys
import time

import korvane


def best_of(repeats, call):
    """The shortest time of repeats calls, and the last result."""
    best, result = float("inf"), None
    for _ in range(repeats):
        start = time.perf_counter()
        result = call()
        best = min(best, time.perf_counter() - start)
    return best, result


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("path")
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args(argv)
    size = os.path.getsize(args.path)
    # Into the page cache.
    with open(args.path, "rb") as whole:
        while whole.read(1 << 24):
            pass
    full_time, full = best_of(args.repeats, lambda: korvane.read_plot(args.path))
    print(f"{sys.implementation.name}, {size / 1e9:.2f} GB, {full.blocks} blocks")
    print(f"{'full read':34} {full_time:8.3f} s")
    for label, chosen in (("blocks=slice(-1000, None)", slice(-1000, None)),
                          ("blocks=slice(None, None, 100)", slice(None, None, 100))):
        part_time, part = best_of(args.repeats, lambda: korvane.read_plot(args.path, blocks=chosen))
        same = all(a.tobytes() == b[chosen].tobytes() for a, b in zip(part.columns, full.columns))
        print(f"{label:34} {part_time:8.3f} s  {full_time / part_time:6.1f}x faster, "
              f"same values: {same}")

    with korvane.open_plot(args.path) as plot_file:
        for label, chosen in (("open file, slice(-1000, None)", slice(-1000, None)),
                              ("open file, slice(None, None, 100)", slice(None, None, 100))):
            part_time, _ = best_of(args.repeats, lambda: plot_file.read(blocks=chosen))
            print(f"{label:34} {part_time:8.3f} s  {full_time / part_time:6.1f}x faster "
                  "(index built once)")

    def count_blocks():
        with korvane.open_plot(args.path) as plot_file:
            return plot_file.blocks

    index_time, blocks = best_of(args.repeats, count_blocks)
    print(f"{'open_plot(...).blocks':34} {index_time:8.3f} s  "
          f"{size / index_time / 1e9:6.2f} GB/s, {blocks} blocks")


if __name__ == "__main__":
    main()
