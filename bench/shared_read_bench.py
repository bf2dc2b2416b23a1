#!/usr/bin/env python3
"""One plot file read by several threads, side by side in one process with the plain-Python
reader, and the figures that move with the machine's price of fresh memory.

    python3 bench/gen_plot_file.py --width 12 --params 100 --blocks 100000 --out bench/data/big.txt
    python3 bench/gen_plot_file.py --width 12 --params 100 --blocks 800000 --out bench/data/1g.txt
    PYTHONPATH=build/cpython /usr/bin/python3 bench/shared_read_bench.py bench/data/big.txt \\
        --large bench/data/1g.txt
    PYTHONPATH=build/pypy pypy3 bench/shared_read_bench.py bench/data/big.txt

Prints, for the first file: the plain reader's time (one run) and, alternating, the medians of
read_plot with its default threads, with threads=1 and 2, and with its columns asked for (a
threaded read makes them from its table then), and on CPython with NumPy the 2-D array
through to_numpy() against numpy.array(rust_read_tolvera(...)); the peak RSS of a fresh process
reading the file against its values' float32 bytes. For --large: the full read, the last 1000
blocks, every 100th block, and open_plot(...).blocks in GB/s, with the file in the page cache.
With --threshold: one thread against two on files of 1 to 32 MiB, where the default's threshold
(two threads from 2 MiB) comes from.
First of all, the speed of first touches of fresh memory, and of writes to memory touched before.
"""

import argparse
import mmap
import os
import statistics
import subprocess
import sys
import tempfile
import time

import korvane

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_plot_file import write_plot_file  # noqa: E402
from readers import plain_read  # noqa: E402


def touch_speeds(size=256 << 20):
    """GB/s of writing one byte per page of fresh anonymous memory, then of rewriting it."""
    speeds = []
    with mmap.mmap(-1, size) as memory:
        for _ in range(2):
            start = time.perf_counter()
            for offset in range(0, size, 4096):
                memory[offset] = 1
            speeds.append(size / (time.perf_counter() - start) / 1e9)
    return speeds


def medians(rounds, calls):
    """The median time of each call over rounds, the calls alternating within each round."""
    times = {name: [] for name in calls}
    for _ in range(rounds):
        for name, call in calls.items():
            start = time.perf_counter()
            result = call()
            times[name].append(time.perf_counter() - start)
            del result
    return {name: statistics.median(spent) for name, spent in times.items()}


def peak_rss_mib(path, width):
    """The peak RSS of a fresh interpreter reading the file, and before the read, in MiB."""
    # VmHWM starts anew with the interpreter's image; ru_maxrss would count the forking parent's.
    code = ("import sys, korvane\n"
            "def peak():\n"
            "    with open('/proc/self/status') as status:\n"
            "        return next(int(l.split()[1]) for l in status if l.startswith('VmHWM:'))\n"
            "before = peak()\n"
            "plot = korvane.read_plot(sys.argv[1], int(sys.argv[2]))\n"
            "print(before, peak())\n")
    done = subprocess.run([sys.executable, "-c", code, path, str(width)], check=True,
                          capture_output=True, text=True)
    before, after = map(int, done.stdout.split())
    return before / 1024, after / 1024


def whole_file(path, width, rounds):
    size = os.path.getsize(path)
    first = korvane.read_plot(path, width)
    values = sum(len(column) for column in first.columns)
    print(f"{sys.implementation.name}, {path}: {size / 1e6:.1f} MB, {values} values, "
          f"{os.cpu_count()} cores")
    start = time.perf_counter()
    plain_read(path, width)
    plain = time.perf_counter() - start
    calls = {
        "read_plot, default threads": lambda: korvane.read_plot(path, width),
        "read_plot, threads=1": lambda: korvane.read_plot(path, width, threads=1),
        "read_plot, threads=2": lambda: korvane.read_plot(path, width, threads=2),
        "read_plot(...).columns": lambda: korvane.read_plot(path, width).columns,
    }
    try:
        import numpy
    except ImportError:
        numpy = None
    if numpy is not None:
        calls["to_numpy()"] = lambda: korvane.read_plot(path, width).to_numpy()
        calls["numpy.array(rust_read_tolvera)"] = lambda: numpy.array(
            korvane.rust_read_tolvera(path, width), dtype=numpy.float32)
    found = medians(rounds, calls)
    print(f"{'plain reader (one run)':34} {plain:8.3f} s")
    for name, spent in found.items():
        print(f"{name:34} {spent:8.3f} s  {plain / spent:6.1f}x the plain reader")
    if numpy is not None:
        ratio = found["numpy.array(rust_read_tolvera)"] / found["to_numpy()"]
        print(f"to_numpy() is {ratio:.1f}x as fast as numpy.array(rust_read_tolvera(...))")
    before, peak = peak_rss_mib(path, width)
    data = values * 4 / 2**20
    print(f"peak RSS of a fresh read: {peak:.0f} MiB (before it {before:.0f} MiB); float32 "
          f"values {data:.0f} MiB; goal {1.2 * data + 30:.0f} MiB")


def large_file(path, width, rounds):
    size = os.path.getsize(path)
    with open(path, "rb") as whole:
        while whole.read(1 << 24):
            pass

    def count_blocks():
        with korvane.open_plot(path, width) as plot_file:
            return plot_file.blocks

    found = medians(rounds, {
        "full read": lambda: korvane.read_plot(path, width),
        "blocks=slice(-1000, None)": lambda: korvane.read_plot(path, width,
                                                               blocks=slice(-1000, None)),
        "blocks=slice(None, None, 100)": lambda: korvane.read_plot(
            path, width, blocks=slice(None, None, 100)),
        "open_plot(...).blocks": count_blocks,
    })
    print(f"{path}: {size / 1e9:.2f} GB")
    for name, spent in found.items():
        print(f"{name:34} {spent:8.3f} s  {found['full read'] / spent:6.1f}x the full read")
    print(f"open_plot(...).blocks: {size / found['open_plot(...).blocks'] / 1e9:.1f} GB/s")


def threshold(width, rounds):
    """read_plot with one thread and with two, side by side, on files of 1 to 32 MiB (100
    parameters): where two threads start to gain."""
    block_bytes = 100 * width + 10 + 41
    with tempfile.TemporaryDirectory() as folder:
        for mib in (1, 2, 4, 8, 16, 32):
            path = os.path.join(folder, f"plot_{mib}.txt")
            with open(path, "w", encoding="ascii", newline="\n") as out:
                write_plot_file(out, width, 100, (mib << 20) // block_bytes, 1, 0)
            found = medians(rounds * 10, {
                1: lambda: korvane.read_plot(path, width, threads=1),
                2: lambda: korvane.read_plot(path, width, threads=2),
            })
            print(f"{os.path.getsize(path) / 2**20:5.1f} MiB: one thread {found[1] * 1e3:7.2f} ms, "
                  f"two {found[2] * 1e3:7.2f} ms, {found[1] / found[2]:4.2f}x")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("path")
    parser.add_argument("--width", type=int, default=12)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--large", help="a file of about 1 GB for the reads of parts")
    parser.add_argument("--threshold", action="store_true",
                        help="also one thread against two on files of 1 to 32 MiB")
    args = parser.parse_args(argv)
    fresh, touched = touch_speeds()
    print(f"first touch of fresh memory: {fresh:.2f} GB/s; rewrite: {touched:.2f} GB/s "
          "(one byte a page, through mmap)")
    if args.large:
        # First, in a process that has not yet held the plain reader's ten million floats, which
        # made every read of the large file slower here.
        large_file(args.large, args.width, max(3, args.rounds // 2))
    whole_file(args.path, args.width, args.rounds)
    if args.threshold:
        threshold(args.width, args.rounds)


if __name__ == "__main__":
    main()
