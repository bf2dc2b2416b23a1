"""Times following a growing plot file: each read() of the blocks a poll finds new, against
read_plot of the whole file, and a read() that finds nothing new.

The file grows by --step bytes between polls, copied from a finished plot file (cut anywhere,
mid-line and mid-block, as a writer leaves it), until it is whole; then read_plot reads it all.
Every poll's read() is timed; the figures given are the median of the last ten polls and of
reads that find nothing new: a thousand one after another, and two hundred a millisecond apart,
as a program polling the file makes them (the caches no longer hot), both after the growing
file's polls and in the fresh process, before anything else ran (on PyPy, nothing compiled). The columns the follower gathered are checked against read_plot's, bit for bit.

    pypy3 bench/gen_plot_file.py --params 100 --blocks 400000 --out bench/data/follow_500mb.txt
    PYTHONPATH=build/cpython /usr/bin/python3 bench/follow_bench.py bench/data/follow_500mb.txt
    PYTHONPATH=build/pypy pypy3 bench/follow_bench.py bench/data/follow_500mb.txt

A read that finds nothing new costs most with many parameters in a small file; 23, say:

    pypy3 bench/gen_plot_file.py --params 23 --blocks 100000 --out bench/data/follow_23.txt

The module must be importable (PYTHONPATH as above, or installed).
"""

import argparse
import os
import statistics
import sys
import tempfile
import time

import korvane


def idle_reads(run, count, pause):
    """The seconds of count reads that find nothing new, pause seconds apart."""
    seconds = []
    for _ in range(count):
        if pause:
            time.sleep(pause)
        start = time.perf_counter()
        run.read()
        seconds.append(time.perf_counter() - start)
    return seconds


def follow_growing(source, target, step):
    """Appends source to target step bytes at a time, reading after each; the seconds of each
    read, of reads that find nothing new one after another and polled, and the bytes of each
    column gathered."""
    seconds = []
    gathered = None
    with open(source, "rb") as whole, open(target, "wb", buffering=0) as out, \
            korvane.follow(target) as run:
        while piece := whole.read(step):
            out.write(piece)
            start = time.perf_counter()
            plot = run.read()
            seconds.append(time.perf_counter() - start)
            if plot.blocks:
                if gathered is None:
                    gathered = [bytearray() for _ in plot.columns]
                for column, values in zip(gathered, plot.columns):
                    column += values.tobytes()
        idle = idle_reads(run, 1000, 0), idle_reads(run, 200, 0.001)
    return seconds, idle, gathered


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("path", help="a finished plot file to grow the followed one from")
    parser.add_argument("--step", type=int, default=1 << 20, help="bytes added between polls")
    args = parser.parse_args()

    with korvane.follow(args.path) as fresh:
        fresh.read()
        first_polls = idle_reads(fresh, 200, 0.001)
    with tempfile.TemporaryDirectory(prefix="korvane-follow-") as folder:
        target = os.path.join(folder, "growing.plt")
        seconds, idle, gathered = follow_growing(args.path, target, args.step)
        start = time.perf_counter()
        whole = korvane.read_plot(target)
        whole_seconds = time.perf_counter() - start
    if [bytes(column) for column in gathered] != [column.tobytes() for column in whole]:
        sys.exit("the blocks followed differ from the whole file's")

    size = os.path.getsize(args.path)
    last = statistics.median(seconds[-10:])
    print(f"{sys.implementation.name} {sys.version.split()[0]}: {size / 1e6:.0f} MB grown by "
          f"{args.step / 1e6:.1f} MB between {len(seconds)} polls, {whole.blocks} blocks")
    print(f"read() of the last ten polls (median)  {last * 1e3:8.2f} ms")
    print(f"read_plot of the whole file            {whole_seconds * 1e3:8.2f} ms  "
          f"({whole_seconds / last:.0f}x a poll's read)")
    back_to_back, polled = idle
    print(f"read() with nothing new (median)       {statistics.median(back_to_back) * 1e6:8.1f} us")
    print(f"  the same, a millisecond apart        {statistics.median(polled) * 1e6:8.1f} us")
    print(f"  the same, a fresh process's first    {statistics.median(first_polls) * 1e6:8.1f} us")


if __name__ == "__main__":
    main()
