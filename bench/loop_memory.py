"""Reads one plot file many times in a loop, dropping each result, and prints the resident memory
between calls: for rust_read_tolvera, for read_plot (array('f') columns) and for the plain-Python
reader doing rust_read_tolvera's work.

Each reader runs in a child interpreter of its own. After each call returns and its result is
dropped, the child notes its resident set size (/proc/self/statm); nothing forces a collection,
so what the figures show is what a program reading files in a loop holds. The last line gives the
ratio of the module's largest figure to the plain reader's.

    pypy3 bench/gen_plot_file.py --params 100 --blocks 80000 --out bench/data/loop_8m.txt
    pypy3 bench/gen_plot_file.py --params 100 --blocks 2400 --out bench/data/loop_240k.txt
    PYTHONPATH=build/pypy pypy3 bench/loop_memory.py bench/data/loop_8m.txt --calls 30
    PYTHONPATH=build/pypy pypy3 bench/loop_memory.py bench/data/loop_240k.txt --calls 2000
    PYTHONPATH=build/cpython /usr/bin/python3 bench/loop_memory.py bench/data/loop_8m.txt --calls 30

The module must be importable (PYTHONPATH as above, or installed).
"""

import argparse
import os
import statistics
import sys

from readers import run_child

CHILD = r"""
import json, os, sys

from readers import plain_read

def module_read(path, width):
    import korvane
    return korvane.rust_read_tolvera(path, width)

def read_plot_read(path, width):
    import korvane
    return korvane.read_plot(path, width)

def resident_mib():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 2**20

reader = {"module": module_read, "plain": plain_read, "read_plot": read_plot_read}[sys.argv[1]]
path, width, calls = sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
figures = []
for _ in range(calls):
    data = reader(path, width)
    del data
    figures.append(resident_mib())
print(json.dumps(figures))
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("path")
    parser.add_argument("--width", type=int, default=12)
    parser.add_argument("--calls", type=int, default=30)
    parser.add_argument("--every", action="store_true", help="print the figure after each call")
    args = parser.parse_args()

    print(f"{sys.implementation.name} {sys.version.split()[0]}, {args.calls} calls of "
          f"{os.path.basename(args.path)}; resident MiB after each call, its result dropped")
    largest = {}
    for reader, name in [("module", "rust_read_tolvera"), ("plain", "plain Python"),
                         ("read_plot", "read_plot")]:
        figures = run_child(CHILD, reader, args.path, args.width, args.calls)
        largest[reader] = max(figures)
        print(f"{name:18} first {figures[0]:7.1f}  median {statistics.median(figures):7.1f}  "
              f"max {max(figures):7.1f}  last {figures[-1]:7.1f}")
        if args.every:
            print("  " + " ".join(f"{figure:.0f}" for figure in figures))
    for reader, name in [("module", "rust_read_tolvera"), ("read_plot", "read_plot")]:
        print(f"{name}'s max is {largest[reader] / largest['plain']:.2f}x the plain reader's")


if __name__ == "__main__":
    main()
