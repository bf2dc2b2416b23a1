"""Times rust_read_tolvera against a plain-Python reader of the same plot file, on PyPy.

Each reader runs in a child interpreter of its own, so that its peak memory (ru_maxrss) is its
own; the runs alternate between the readers and the fastest run of each counts. Both return the same thing: a list of lists of floats holding the 32-bit values. The plain
reader rounds each float() through array('f') (the values a 32-bit column holds) and turns the
arrays into lists at the end.

    python3 bench/gen_plot_file.py --width 12 --params 100 --blocks 100000 --out FILE
    pypy3 bench/e2e_bench.py FILE --width 12

The module must be importable (PYTHONPATH=build/pypy, or installed).
"""

import argparse
import json
import os
import subprocess
import sys

CHILD = r"""
import array, json, resource, sys, time

def plain_read(path, width):
    with open(path, "r", encoding="utf-8") as lines:
        count = int(lines.readline().split()[-1])
        for _ in range(count):
            lines.readline()
        columns = [array.array("f") for _ in range(count)]
        data_lines = (count + 9) // 10
        while lines.readline():
            for first in range(0, count, 10):
                line = lines.readline()
                for j in range(min(10, count - first)):
                    columns[first + j].append(float(line[j * width:(j + 1) * width]))
    return [column.tolist() for column in columns]

def module_read(path, width):
    import korvane
    return korvane.rust_read_tolvera(path, width)

reader = {"module": module_read, "plain": plain_read}[sys.argv[1]]
start = time.perf_counter()
data = reader(sys.argv[2], int(sys.argv[3]))
seconds = time.perf_counter() - start
values = sum(len(column) for column in data)
checksum = sum(sum(column) for column in data)
peak_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(json.dumps({"seconds": seconds, "values": values, "checksum": checksum,
                  "peak_kib": peak_kib}))
"""


def run(reader, path, width):
    done = subprocess.run([sys.executable, "-c", CHILD, reader, path, str(width)],
                          capture_output=True, text=True, check=True, env=dict(os.environ))
    return json.loads(done.stdout.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("path")
    parser.add_argument("--width", type=int, default=12)
    parser.add_argument("--repeat", type=int, default=3, help="runs of each reader")
    args = parser.parse_args()

    runs = {"module": [], "plain": []}
    for _ in range(args.repeat):
        for reader, results in runs.items():
            results.append(run(reader, args.path, args.width))
    module, plain = (min(results, key=lambda figures: figures["seconds"])
                     for results in runs.values())
    if (module["values"], module["checksum"]) != (plain["values"], plain["checksum"]):
        sys.exit(f"the readers disagree: {module} vs {plain}")

    for name, figures in [("rust_read_tolvera", module), ("plain Python", plain)]:
        ns_per_value = figures["seconds"] * 1e9 / figures["values"]
        print(f"{name:18} {figures['seconds']:8.3f} s  {ns_per_value:7.1f} ns/value  "
              f"peak {figures['peak_kib'] / 1024:8.1f} MiB")
    print(f"values: {module['values']}")
    print(f"speed-up: {plain['seconds'] / module['seconds']:.2f}x  "
          f"peak memory ratio (module/plain): {module['peak_kib'] / plain['peak_kib']:.2f}")


if __name__ == "__main__":
    main()
