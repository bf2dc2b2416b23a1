"""Throughput of rust_read_tolvera over a set of plot files, read by one thread and by two.

Both ways read the same files in the same process; the rounds alternate which way goes first, so
that drift in the machine's load falls on both. Each way hands the files to a ThreadPoolExecutor
with one or two workers; the columns are dropped as soon as a read returns. Prints each round,
the median throughput of each way with the cores the process kept busy, the ratio of the medians
and the load average: on a machine busy with other work, two threads get no more processor time
than one, and the ratio shows that rather than the lock.

    pypy3 bench/gen_plot_file.py --params 100 --blocks 40000 --seed N --out bench/data/plotN.txt
    PYTHONPATH=build/pypy pypy3 bench/thread_bench.py bench/data/plot*.txt
    PYTHONPATH=build/cpython /usr/bin/python3 bench/thread_bench.py bench/data/plot*.txt
"""

import argparse
import concurrent.futures
import os
import statistics
import time

import korvane


def read_all(paths, width, workers):
    """Seconds taken to read every file with the given number of worker threads, and the cores
    the process kept busy meanwhile on average (processor time over elapsed time)."""
    start, start_cpu = time.perf_counter(), time.process_time()
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        for _ in pool.map(lambda path: len(korvane.rust_read_tolvera(path, width)), paths):
            pass
    elapsed = time.perf_counter() - start
    return elapsed, (time.process_time() - start_cpu) / elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("paths", nargs="+", help="plot files, an even number of them")
    parser.add_argument("--width", type=int, default=12)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    megabytes = sum(os.path.getsize(path) for path in args.paths) / 1e6
    print(f"{len(args.paths)} files, {megabytes:.0f} MB; load average at start "
          f"{os.getloadavg()[0]:.2f}")
    # Warm-up: the page cache, and PyPy's JIT for the conversion.
    read_all(args.paths, args.width, 2)
    throughputs, cores = {1: [], 2: []}, {1: [], 2: []}
    for round_number in range(args.rounds):
        order = (1, 2) if round_number % 2 == 0 else (2, 1)
        for workers in order:
            elapsed, busy = read_all(args.paths, args.width, workers)
            throughputs[workers].append(megabytes / elapsed)
            cores[workers].append(busy)
        print(f"round {round_number}: 1 thread {throughputs[1][-1]:.1f} MB/s "
              f"({cores[1][-1]:.2f} cores), 2 threads {throughputs[2][-1]:.1f} MB/s "
              f"({cores[2][-1]:.2f} cores), ratio {throughputs[2][-1] / throughputs[1][-1]:.2f}")
    one, two = statistics.median(throughputs[1]), statistics.median(throughputs[2])
    print(f"median: 1 thread {one:.1f} MB/s ({statistics.median(cores[1]):.2f} cores), "
          f"2 threads {two:.1f} MB/s ({statistics.median(cores[2]):.2f} cores), "
          f"ratio {two / one:.2f}; load average at end {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
