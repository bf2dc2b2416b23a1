"""Plot files read and reduced three ways: one process in sequence, a pool of two threads in one
process, and a LocalCluster of two worker processes on Dask's distributed scheduler.

Each file is read by korvane.read_plot with a choice of columns and reduced to each column's mean
and last value by the functions of examples/sweep_dask.py, so all three do the same work. The
rounds alternate the order of the ways, so that drift in the machine's load falls on all of them;
the cluster is started once, before the rounds, and its start-up is timed on its own. Prints each
round, the medians, each parallel way's speed-up over the sequence, and the cluster's overhead
per file: the time its two workers spend beyond the sequence's work, over the files, beside the
time an empty task per file takes on it.

    for i in $(seq -w 0 31); do pypy3 bench/gen_plot_file.py --params 100 --blocks 20000 \\
        --seed 1$i --out bench/data/sweep$i.txt; done          # 32 files of 25 MB
    PYTHONPATH=build/cpython /usr/bin/python3 bench/dask_bench.py bench/data/sweep*.txt
"""

import argparse
import concurrent.futures
import os
import statistics
import sys
import time

import distributed

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples"))
import sweep_dask  # noqa: E402

WORKERS = 2


def read_and_reduce(path, columns):
    return sweep_dask.summarize(sweep_dask.read_chosen(path, columns))


def in_sequence(paths, columns, client):
    return [read_and_reduce(path, columns) for path in paths]


def in_threads(paths, columns, client):
    with concurrent.futures.ThreadPoolExecutor(max_workers=WORKERS) as pool:
        return list(pool.map(lambda path: read_and_reduce(path, columns), paths))


def on_cluster(paths, columns, client):
    results, failures = sweep_dask.sweep(client, paths, columns, timeout=600)
    if failures:
        raise RuntimeError(f"files failed on the cluster: {failures}")
    return list(results.values())


WAYS = {"sequence": in_sequence, "2 threads": in_threads, "cluster": on_cluster}


def empty_task(path):
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("paths", nargs="+", help="plot files")
    parser.add_argument("--columns", default="tenth",
                        help="'tenth' (every tenth parameter, the default), 'all', or names and "
                        "positions, comma-separated")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    if args.columns == "all":
        columns = None
    elif args.columns == "tenth":
        import korvane
        count = len(korvane.read_plot(args.paths[0], columns=[]).names)
        columns = list(range(0, count, 10))
    else:
        columns = sweep_dask.column_choices(args.columns)
    megabytes = sum(os.path.getsize(path) for path in args.paths) / 1e6
    print(f"{len(args.paths)} files, {megabytes:.0f} MB, columns {args.columns}; "
          f"load average at start {os.getloadavg()[0]:.2f}")

    start = time.perf_counter()
    with distributed.LocalCluster(n_workers=WORKERS, processes=True, threads_per_worker=1,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        client.wait_for_workers(WORKERS, timeout=120)
        print(f"cluster started in {time.perf_counter() - start:.2f} s")
        # Warm-up: the page cache, and the workers' imports.
        expected = in_sequence(args.paths, columns, None)
        if on_cluster(args.paths, columns, client) != expected:
            raise RuntimeError("the cluster's summaries differ from the sequence's")
        times = {way: [] for way in WAYS}
        empty = []
        for round_number in range(args.rounds):
            order = list(WAYS) if round_number % 2 == 0 else list(reversed(WAYS))
            for way in order:
                start = time.perf_counter()
                WAYS[way](args.paths, columns, client)
                times[way].append(time.perf_counter() - start)
            start = time.perf_counter()
            distributed.wait(client.map(empty_task, args.paths, pure=False), timeout=600)
            empty.append(time.perf_counter() - start)
            print(f"round {round_number}: " + ", ".join(
                f"{way} {times[way][-1]:.3f} s" for way in WAYS))
    medians = {way: statistics.median(seconds) for way, seconds in times.items()}
    sequence = medians["sequence"]
    print("median: " + ", ".join(
        f"{way} {seconds:.3f} s ({megabytes / seconds:.0f} MB/s)" for way, seconds in
        medians.items()))
    for way in ("2 threads", "cluster"):
        print(f"{way}: {sequence / medians[way]:.2f}x the sequence")
    # What two workers spend beyond half the sequence each, spread over the files.
    overhead = (WORKERS * medians["cluster"] - sequence) / len(args.paths)
    print(f"cluster overhead per file: {overhead * 1e3:.1f} ms of worker time (the sequence: "
          f"{sequence / len(args.paths) * 1e3:.1f} ms a file); an empty task per file: "
          f"{statistics.median(empty) / len(args.paths) * 1e3:.2f} ms a file")
    print(f"load average at end {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
