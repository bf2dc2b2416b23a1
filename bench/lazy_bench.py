#!/usr/bin/env python3
"""Every parameter's mean over one large plot file, three ways side by side: PlotFile.to_dask() on
a LocalCluster of two one-thread workers, to_dask() on Dask's threaded scheduler, and one
read_plot() in a process. Each route runs in a fresh child interpreter, which reports its time and
the peak RSS of its process (and of each worker). The file, of at least 2 GB by default, is made
under /tmp by repeating random blocks, read once into the page cache, and deleted afterwards.
Prints the machine's first-touch speed beside the figures, since fresh pages cost tenfold more on
some machines than on others.

    /usr/bin/python3 bench/lazy_bench.py [--gigabytes 2] [--chunks "64 MiB"]
"""

import argparse
import json
import mmap
import os
import random
import subprocess
import sys
import tempfile
import textwrap
import time

PARAMETERS = 100
PATTERN_BLOCKS = 1000

# Run in each child: the route's mean and time, and peak RSS (VmHWM) of the process.
COMMON = textwrap.dedent("""
    import json, os, sys, time
    import numpy, korvane

    def peak(field="VmHWM"):
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith(field + ":"):
                    return int(line.split()[1]) * 1024
    path, chunks = sys.argv[1], json.loads(sys.argv[2])
    """)

ROUTES = {
    "read_plot in a process": """
        start = time.perf_counter()
        means = korvane.read_plot(path).to_numpy().mean(axis=1, dtype=numpy.float64)
        report = {"seconds": time.perf_counter() - start}
        """,
    "to_dask, threaded scheduler": """
        import dask.array
        start = time.perf_counter()
        with korvane.open_plot(path) as plot_file:
            values = plot_file.to_dask(chunks)
        means = values.mean(axis=1, dtype=numpy.float64).compute(scheduler="threads")
        report = {"seconds": time.perf_counter() - start, "chunk": values.nbytes //
                  len(values.chunks[1])}
        """,
    "to_dask, LocalCluster of 2": """
        import distributed

        def idle():
            import numpy, dask.array, korvane
            return peak("VmRSS")

        def worker_peak():
            return peak()

        if __name__ == "__main__":
            with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                          dashboard_address=None, host="127.0.0.1") as cluster:
                with distributed.Client(cluster) as client:
                    client.wait_for_workers(2)
                    idle_rss = sorted(client.run(idle).values())
                    start = time.perf_counter()
                    with korvane.open_plot(path) as plot_file:
                        values = plot_file.to_dask(chunks)
                    means = values.mean(axis=1, dtype=numpy.float64).compute()
                    seconds = time.perf_counter() - start
                    peaks = sorted(client.run(worker_peak).values())
            report = {"seconds": seconds, "idle": idle_rss, "workers": peaks,
                      "chunk": values.nbytes // len(values.chunks[1])}
        """,
}

TAIL = textwrap.dedent("""
    if __name__ == "__main__":
        report.update(client=peak(), means=[float(mean) for mean in means])
        print(json.dumps(report))
    """)


def first_touch_speed(size=1 << 28):
    """GB/s writing fresh anonymous pages, and rewriting the same pages."""
    block = b"\1" * (1 << 20)
    speeds = []
    memory = mmap.mmap(-1, size)
    for _ in range(2):
        start = time.perf_counter()
        for offset in range(0, size, len(block)):
            memory[offset:offset + len(block)] = block
        speeds.append(size / (time.perf_counter() - start) / 1e9)
    memory.close()
    return speeds


def write_file(path, gigabytes, rng):
    """A plot file of at least gigabytes GB: PATTERN_BLOCKS random blocks, repeated."""
    lines = [f" TOLVERA benchmark file {PARAMETERS}"] + [f" P{i}" for i in range(PARAMETERS)]
    for block in range(PATTERN_BLOCKS):
        lines.append(f" TIME = {block}")
        values = [f"{rng.uniform(-1, 1) * 10.0 ** (i % 9 - 4):12.5E}" for i in range(PARAMETERS)]
        lines += ["".join(values[first:first + 10]) for first in range(0, PARAMETERS, 10)]
    head = "\n".join(lines[:PARAMETERS + 1]).encode() + b"\n"
    body = "\n".join(lines[PARAMETERS + 1:]).encode() + b"\n"
    repeats = -(-int(gigabytes * 1e9) // len(body))
    with open(path, "wb") as out:
        out.write(head)
        for _ in range(repeats):
            out.write(body)
    return repeats * PATTERN_BLOCKS


def run_route(name, path, chunks):
    code = COMMON + textwrap.dedent(ROUTES[name]) + TAIL
    with tempfile.NamedTemporaryFile("w", suffix=".py", delete=False) as script:
        script.write(code)
    try:
        done = subprocess.run([sys.executable, script.name, path, json.dumps(chunks)],
                              capture_output=True, text=True, check=True)
    finally:
        os.remove(script.name)
    return json.loads(done.stdout.splitlines()[-1])


def mib(size):
    return f"{size / 2**20:.0f} MiB"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--gigabytes", type=float, default=2.0)
    parser.add_argument("--chunks", default=None, help='to_dask(chunks=...); default its own')
    args = parser.parse_args(argv)
    fresh, rewrite = first_touch_speed()
    print(f"first touch of fresh pages: {fresh:.2f} GB/s (rewriting them: {rewrite:.2f} GB/s)")
    folder = tempfile.mkdtemp(prefix="korvane-lazy-bench-")
    path = os.path.join(folder, "large.plt")
    try:
        blocks = write_file(path, args.gigabytes, random.Random(1))
        with open(path, "rb") as whole:
            while whole.read(1 << 24):
                pass
        print(f"{os.path.getsize(path) / 1e9:.2f} GB, {blocks} blocks of {PARAMETERS} "
              f"parameters: {mib(blocks * PARAMETERS * 4)} of float32")
        reports = {name: run_route(name, path, args.chunks) for name in ROUTES}
    finally:
        if os.path.exists(path):
            os.remove(path)
        os.rmdir(folder)
    base = reports["read_plot in a process"]
    for name, report in reports.items():
        differs = max(abs(mean - expected) / (abs(expected) or 1)
                      for mean, expected in zip(report["means"], base["means"]))
        line = (f"{name:28} {report['seconds']:7.2f} s  {report['seconds'] / base['seconds']:5.2f}x"
                f"  client peak {mib(report['client'])}")
        if "workers" in report:
            line += (f", workers' peaks {', '.join(map(mib, report['workers']))} (idle "
                     f"{', '.join(map(mib, report['idle']))})")
        if "chunk" in report:
            line += f", chunk {mib(report['chunk'])}"
        print(line + f"; means differ from read_plot's by {differs:.1e} at most")
    cluster = reports["to_dask, LocalCluster of 2"]
    bound = max(cluster["idle"]) + 2 * cluster["chunk"] + (50 << 20)
    print(f"goal: each worker's peak at most {mib(bound)} (idle + 2 chunks + 50 MiB): "
          f"{max(cluster['workers']) <= bound}; time at most 1.5x read_plot's: "
          f"{cluster['seconds'] <= 1.5 * base['seconds']}")


if __name__ == "__main__":
    main()
