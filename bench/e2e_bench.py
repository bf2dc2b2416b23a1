"""Times the module's readers against a plain-Python reader of the same plot file, and NumPy on CPython.

Each reader runs in a child interpreter of its own, so that its peak memory (ru_maxrss, taken
right after the read) is its own; the runs alternate between the readers and the median run of
each counts. rust_read_tolvera and the plain reader return the same thing: a list of lists of
floats holding the 32-bit values. The plain reader rounds each float() through array('f') (the
values a 32-bit column holds) and turns the arrays into lists at the end. read_plot returns the
same values as array('f') columns; "read_plot, a tenth" reads every tenth parameter only. On
CPython, NumPy's genfromtxt with fixed field widths also reads the file: it gets the data lines
only (the header and the TIME lines are filtered out in Python, inside the timing) and returns
float32 arrays, one row per column, not lists; and two routes to one 2-D float32 array are
timed: numpy.array over rust_read_tolvera's lists, and read_plot(...).to_numpy().

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

def read_plot_read(path, width):
    import korvane
    return korvane.read_plot(path, width).columns

def read_plot_tenth_read(path, width):
    import korvane
    with open(path, "r", encoding="utf-8") as lines:
        count = int(lines.readline().split()[-1])
    return korvane.read_plot(path, width, columns=range(0, count, 10)).columns

def lists_to_numpy_read(path, width):
    import korvane, numpy
    return numpy.array(korvane.rust_read_tolvera(path, width), dtype=numpy.float32)

def to_numpy_read(path, width):
    import korvane
    return korvane.read_plot(path, width).to_numpy()

reader = {"module": module_read, "plain": plain_read, "genfromtxt": genfromtxt_read,
          "read_plot": read_plot_read, "read_plot_tenth": read_plot_tenth_read,
          "lists_to_numpy": lists_to_numpy_read, "to_numpy": to_numpy_read}[sys.argv[1]]
start = time.perf_counter()
data = reader(sys.argv[2], int(sys.argv[3]))
seconds = time.perf_counter() - start
peak_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
values = sum(len(column) for column in data)
# Summed column by column in file order, so all readers' sums match bit for bit.
checksum = sum(sum(column.tolist() if hasattr(column, "tolist") else column) for column in data)
print(json.dumps({"seconds": seconds, "values": values, "checksum": checksum,
                  "peak_kib": peak_kib}))
"""



def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("path")
    parser.add_argument("--width", type=int, default=12)
    parser.add_argument("--repeat", type=int, default=3, help="runs of each reader")
    parser.add_argument("--skip", nargs="*", default=[], help="readers not to run, e.g. genfromtxt")
    args = parser.parse_args()

    names = {"module": "rust_read_tolvera", "plain": "plain Python", "read_plot": "read_plot",
             "read_plot_tenth": "read_plot, a tenth"}
    if sys.implementation.name == "cpython":
        names.update(genfromtxt="numpy genfromtxt", lists_to_numpy="numpy.array(lists)",
                     to_numpy="read_plot.to_numpy")
    runs = {reader: [] for reader in names if reader not in args.skip}
    for _ in range(args.repeat):
        for reader, results in runs.items():
            results.append(run_child(CHILD, reader, args.path, args.width))
    median = {reader: sorted(results, key=lambda figures: figures["seconds"])[len(results) // 2]
              for reader, results in runs.items()}
    module = median["module"]
    for reader, figures in median.items():
        same = (figures["values"], figures["checksum"]) == (module["values"], module["checksum"])
        if reader != "read_plot_tenth" and not same:
            sys.exit(f"the readers disagree: {module} vs {reader} {figures}")

    print(f"{sys.implementation.name} {sys.version.split()[0]}, {module['values']} values, "
          f"{module['values'] * 4 / 2**20:.1f} MiB as float32, median of {args.repeat} runs each")
    plain = median.get("plain", module)
    for reader, figures in median.items():
        ns_per_value = figures["seconds"] * 1e9 / figures["values"]
        print(f"{names[reader]:20} {figures['seconds']:8.3f} s  {ns_per_value:7.1f} ns/value  "
              f"peak {figures['peak_kib'] / 1024:8.1f} MiB  "
              f"{figures['seconds'] / module['seconds']:6.2f}x rust_read_tolvera's time  "
              f"{plain['seconds'] / figures['seconds']:6.1f}x as fast as plain Python")
    if "genfromtxt" in median:
        print("numpy genfromtxt got the data lines only (header and TIME lines filtered out in "
              "Python, inside its timing) and returns float32 arrays, not lists")


if __name__ == "__main__":
    main()
