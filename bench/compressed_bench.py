#!/usr/bin/env python3
"""read_plot of a plot file compressed with gzip and with zstd, side by side in one process with
the decompressor alone (gzip -dc / zstd -dc to /dev/null) and read_plot of the plain file, all in
the page cache; and the peak RSS of each read, each in a fresh child. Decompression runs on a
thread beside the parsing, so a compressed read should take about the longer of the two.

    PYTHONPATH=build/cpython /usr/bin/python3 bench/compressed_bench.py bench/data/plot_99m.txt

makes PATH.gz (gzip -6) and PATH.zst (zstd -3) beside PATH when they are missing. Make PATH with
gen_plot_file.py (under bench/data/, which git ignores)."""

import argparse
import os
import shutil
import subprocess
import sys
import time

import korvane

# A child that reads once and tells the bytes of the result's columns.
RSS_PROBE = """
import sys, korvane
plot = korvane.read_plot(sys.argv[1])
print(sum(len(column) * column.itemsize for column in plot.columns))
"""


def best_of(repeats, call):
    """The shortest time of repeats calls."""
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def compressed(path, tool, suffix, level):
    packed = path + suffix
    if not os.path.exists(packed):
        with open(packed, "wb") as out:
            subprocess.run([tool, f"-{level}", "-c", path], stdout=out, check=True)
    return packed


def cached(path):
    with open(path, "rb") as whole:
        while whole.read(1 << 24):
            pass


def peak_rss(path):
    """The peak RSS of a child that reads path, as the kernel counts it, and the result's bytes."""
    child = subprocess.Popen([sys.executable, "-c", RSS_PROBE, path], stdout=subprocess.PIPE)
    result = int(child.stdout.read())
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise RuntimeError(f"the read of {path} failed")
    return usage.ru_maxrss * 1024, result


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("path")
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args(argv)
    packings = [("gzip", compressed(args.path, "gzip", ".gz", 6))]
    if shutil.which("zstd"):
        packings.append(("zstd", compressed(args.path, "zstd", ".zst", 3)))
    for path in [args.path] + [packed for _, packed in packings]:
        cached(path)
    # First, while this process is small: a child's peak RSS counts its parent's at the fork.
    peaks = [(name, *peak_rss(path)) for name, path in [("plain", args.path)] + packings]
    plain = best_of(args.repeats, lambda: korvane.read_plot(args.path))
    print(f"{sys.implementation.name}, {os.path.getsize(args.path) / 1e6:.1f} MB plain")
    print(f"{'read_plot, plain':28} {plain:7.3f} s")
    for name, packed in packings:
        with open(os.devnull, "wb") as null:
            alone = best_of(args.repeats, lambda: subprocess.run([name, "-dc", packed],
                                                                  stdout=null, check=True))
        read = best_of(args.repeats, lambda: korvane.read_plot(packed))
        bound = max(alone, plain)
        print(f"{name + ' -dc > /dev/null':28} {alone:7.3f} s  "
              f"({os.path.getsize(packed) / 1e6:.1f} MB compressed)")
        print(f"{'read_plot, ' + name:28} {read:7.3f} s  {read / bound:5.2f}x the larger "
              f"(goal 1.15x)")
    for name, rss, result in peaks:
        limit = 1.2 * result + 30 * 2**20
        print(f"peak RSS, {name:6} {rss / 2**20:8.1f} MiB; result {result / 2**20:.1f} MiB, "
              f"1.2x + 30 MiB = {limit / 2**20:.1f} MiB")


if __name__ == "__main__":
    main()
