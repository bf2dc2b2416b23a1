"""Times rust_read_tolvera against a plain-Python reader of the same plot file, and NumPy on CPython.

Each reader runs in a child interpreter of its own, so that its peak memory (ru_maxrss, taken
right after the read) is its own; the runs alternate between the readers and the fastest run of
each counts. The module and the plain reader return the same thing: a list of lists of floats
holding the 32-bit values. The plain reader rounds each float() through array('f') (the values a
32-bit column holds) and turns the arrays into lists at the end. On CPython, NumPy's genfromtxt
with fixed field widths also reads the file: it gets the data lines only (the header and the
TIME lines are filtered out in Python, inside the timing) and returns float32 arrays, one row per
column, not lists.

    python3 bench/gen_plot_file.py --width 12 --params 100 --blocks 100000 --out FILE
    PYTHONPATH=build/pypy pypy3 bench/e2e_bench.py FILE --width 12
    PYTHONPATH=build/cpython /usr/bin/python3 bench/e2e_bench.py FILE --width 12

The module must be importable (PYTHONPATH as above, or installed).
"""

import argparse
import sys

from readers import run_child

CHILD = r"""
import json, resource, sys, time

from readers import plain_read

def genfromtxt_read(path, width):
    import numpy
    with open(path, "r", encoding="utf-8") as lines:
        count = int(lines.readline().split()[-1])
        for _ in range(count):
            lines.readline()
        data_lines = (line for line in lines if not line.startswith(" TIME"))
        rows = numpy.genfromtxt(data_lines, delimiter=[width] * 10, dtype=numpy.float32)
    # Each block's lines hold ten columns apiece; the last line of a block may be short.
    per_block = (count + 9) // 10 * 10
    rows = rows.reshape(-1, per_block)[:, :count]
    return rows.T.copy()

def module_read(path, width):
    import korvane
    return korvane.rust_read_tolvera(path, width)

reader = {"module": module_read, "plain": plain_read, "genfromtxt": genfromtxt_read}[sys.argv[1]]
start = time.perf_counter()
data = reader(sys.argv[2], int(sys.argv[3]))
seconds = time.perf_counter() - start
peak_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
values = sum(len(column) for column in data)
# Summed column by column in file order, so all readers' sums match bit for bit.
checksum = sum(sum(list(column)) for column in data)
print(json.dumps({"seconds": seconds, "values": values, "checksum": checksum,
                  "peak_kib": peak_kib}))
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("path")
    parser.add_argument("--width", type=int, default=12)
    parser.add_argument("--repeat", type=int, default=3, help="runs of each reader")
    args = parser.parse_args()

    names = {"module": "rust_read_tolvera", "plain": "plain Python"}
    if sys.implementation.name == "cpython":
        names["genfromtxt"] = "numpy genfromtxt"
    runs = {reader: [] for reader in names}
    for _ in range(args.repeat):
        for reader, results in runs.items():
            results.append(run_child(CHILD, reader, args.path, args.width))
    best = {reader: min(results, key=lambda figures: figures["seconds"])
            for reader, results in runs.items()}
    module = best["module"]
    for reader, figures in best.items():
        if (figures["values"], figures["checksum"]) != (module["values"], module["checksum"]):
            sys.exit(f"the readers disagree: {module} vs {reader} {figures}")

    print(f"{sys.implementation.name} {sys.version.split()[0]}, {module['values']} values, "
          f"fastest of {args.repeat} runs each")
    for reader, figures in best.items():
        ns_per_value = figures["seconds"] * 1e9 / figures["values"]
        print(f"{names[reader]:18} {figures['seconds']:8.3f} s  {ns_per_value:7.1f} ns/value  "
              f"peak {figures['peak_kib'] / 1024:8.1f} MiB  "
              f"{figures['seconds'] / module['seconds']:6.2f}x the module's time")
    if "genfromtxt" in best:
        print("numpy genfromtxt got the data lines only (header and TIME lines filtered out in "
              "Python, inside its timing) and returns float32 arrays, not lists")


if __name__ == "__main__":
    main()
