"""rust_read_tolvera from several builds of the module, side by side with the plain-Python reader:
the time of a call and the resident memory a loop of calls holds.

Each candidate is NAME=DIR, DIR holding a built module (build/pypy, say); NAME=DIR+pressure also
tells PyPy's collector, from Python after each call, that the result holds a double per value
(__pypy__.add_memory_pressure), for a build that does not do so itself. Every figure comes from a
fresh child interpreter; the rounds rotate the order of the candidates, so that drift in the
machine's load falls on all of them.

  time:   each child reads the file --calls times; its figure is its fastest call, wall clock
          and processor time, and the page faults of its last call (fresh memory touched:
          costly where the first touch of a page is slow). Prints the median over the rounds and
          how many times faster it is than the plain reader and than the first candidate.
  memory: each child reads the file --calls times in a loop, dropping each result, and notes its
          resident set size after each call; its figure is the largest. Prints the median over
          the rounds and its ratio to the plain reader's.

    pypy3 bench/gen_plot_file.py --params 100 --blocks 100000 --out bench/data/big.txt
    pypy3 bench/pypy_routes.py time bench/data/big.txt --rounds 5 \\
        new=build/pypy old=../old/build/pypy old+pressure=../old/build/pypy+pressure
    pypy3 bench/pypy_routes.py memory bench/data/loop_8m.txt --calls 30 --rounds 3 new=build/pypy
"""

import argparse
import os
import statistics
import sys

from readers import run_child

CHILD = r"""
import json, os, resource, sys, time

from readers import plain_read

mode, path, width, calls, pressure = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5] == "1"
if sys.argv[6] == "plain":
    read = plain_read
else:
    import korvane
    read = korvane.rust_read_tolvera
if pressure:
    import __pypy__

def resident_mib():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 2**20

walls, cpus, residents, faults = [], [], [], []
for _ in range(calls):
    touched = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    wall, cpu = time.perf_counter(), time.process_time()
    data = read(path, width)
    if pressure:
        __pypy__.add_memory_pressure(8 * sum(map(len, data)))
    walls.append(time.perf_counter() - wall)
    cpus.append(time.process_time() - cpu)
    faults.append(resource.getrusage(resource.RUSAGE_SELF).ru_minflt - touched)
    del data
    residents.append(resident_mib())
print(json.dumps([min(walls), min(cpus), faults[-1], max(residents)]))
"""


def candidate(text):
    name, _, where = text.partition("=")
    pressure = where.endswith("+pressure")
    return name, where.removesuffix("+pressure"), pressure


def measure(mode, path, width, calls, name, where, pressure):
    saved = os.environ.get("PYTHONPATH")
    if where:
        os.environ["PYTHONPATH"] = os.path.abspath(where)
    try:
        return run_child(CHILD, mode, path, width, calls, int(pressure),
                         "plain" if not where else name)
    finally:
        if saved is None:
            os.environ.pop("PYTHONPATH", None)
        else:
            os.environ["PYTHONPATH"] = saved


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("mode", choices=["time", "memory"])
    parser.add_argument("path")
    parser.add_argument("candidates", nargs="+", type=candidate, help="NAME=DIR[+pressure]")
    parser.add_argument("--width", type=int, default=12)
    parser.add_argument("--calls", type=int, default=3)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    everyone = args.candidates + [("plain", "", False)]
    figures = {name: [] for name, _, _ in everyone}
    print(f"{sys.implementation.name} {sys.version.split()[0]}, {args.mode} of "
          f"{os.path.basename(args.path)}, {args.calls} calls a child, {args.rounds} rounds; "
          f"load average at start {os.getloadavg()[0]:.2f}")
    for round_number in range(args.rounds):
        shift = round_number % len(everyone)
        for name, where, pressure in everyone[shift:] + everyone[:shift]:
            wall, cpu, faults, resident = measure(args.mode, args.path, args.width, args.calls, name,
                                          where, pressure)
            figures[name].append((wall, cpu, faults) if args.mode == "time" else (resident,))
        print(f"round {round_number}: " + ", ".join(
            f"{name} " + "/".join(f"{x:.3f}" if x < 1000 else f"{x:.0f}" for x in figures[name][-1]) for name, _, _ in everyone),
            flush=True)
    columns = ["wall s", "cpu s", "page faults"] if args.mode == "time" else ["max MiB"]
    medians = {name: [statistics.median(f[k] for f in figures[name]) for k in range(len(columns))]
               for name in figures}
    first = everyone[0][0]
    # Time: how many times faster (page faults: fewer) than the plain reader, and than the first
    # candidate. Memory: how many times the plain reader's, and the first candidate's.
    def ratio(value, other):
        # Page faults can be none at all.
        return max(other, 1e-9) / max(value, 1e-9) if args.mode == "time" else value / other

    def shown(value):
        return f"{value:8.0f}" if value >= 1000 else f"{value:8.3f}"

    print(f"medians ({', '.join(columns)}), each with its ratio to plain and to {first}")
    for name, _, _ in everyone:
        print(f"  {name:18} " + "  ".join(
            f"{shown(value)} {ratio(value, medians['plain'][k]):5.2f}x "
            f"{ratio(value, medians[first][k]):5.2f}x" for k, value in enumerate(medians[name])))
    print(f"load average at end {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
