"""The cost per parameter of a file of many parameters and one block: read_plot of every column,
read_plot of column 0 alone (which reads every name line too) and rust_read_tolvera, in
microseconds of processor time per parameter (the fastest of --calls calls), for each file given.

A read of every column should cost a small multiple of a read of one: what one more parameter
costs beyond its name line and its field is the making of its column for the interpreter.

    pypy3 bench/gen_plot_file.py --params 100000 --blocks 1 --out bench/data/params_100000.txt
    pypy3 bench/gen_plot_file.py --params 1000000 --blocks 1 --out bench/data/params_1000000.txt
    PYTHONPATH=build/pypy pypy3 bench/many_params.py bench/data/params_*.txt
    PYTHONPATH=build/cpython /usr/bin/python3 bench/many_params.py bench/data/params_*.txt
"""

import argparse
import sys
import time

import korvane


def cost(read, calls):
    """The fastest of calls reads, in seconds of processor time, and in seconds of wall clock."""
    best = (float("inf"), float("inf"))
    for _ in range(calls):
        wall, cpu = time.perf_counter(), time.process_time()
        result = read()
        best = min(best, (time.process_time() - cpu, time.perf_counter() - wall))
        del result
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("paths", nargs="+")
    parser.add_argument("--width", type=int, default=12)
    parser.add_argument("--calls", type=int, default=3)
    args = parser.parse_args()
    print(f"{sys.implementation.name} {sys.version.split()[0]}: processor (wall) microseconds per "
          f"parameter, fastest of {args.calls} calls")
    for path in args.paths:
        with open(path) as plot:
            count = int(plot.readline().split()[-1])
        ways = {
            "read_plot": lambda: korvane.read_plot(path, args.width),
            "columns=[0]": lambda: korvane.read_plot(path, args.width, columns=[0]),
            "rust_read_tolvera": lambda: korvane.rust_read_tolvera(path, args.width),
        }
        figures = {name: cost(read, args.calls) for name, read in ways.items()}
        print(f"{count:>8} parameters: " + ", ".join(
            f"{name} {cpu / count * 1e6:.2f} ({wall / count * 1e6:.2f})"
            for name, (cpu, wall) in figures.items())
            + f"; read_plot / columns=[0] {figures['read_plot'][0] / figures['columns=[0]'][0]:.1f}x")


if __name__ == "__main__":
    main()
