"""Reads a folder of plot files on Dask's distributed scheduler and reduces each where it is read.

Each file is read by korvane.read_plot in a worker, with only the chosen columns, and reduced
there, in the same task, to each column's mean and last value; only these small summaries travel
to the client, and each Plot is freed in its worker once its summary is made. A file that fails is reported with its
path, line and field, and the other files are still read.

    python3 examples/sweep_dask.py sweep/ --columns PARAM0000,PARAM0042
    python3 examples/sweep_dask.py sweep/ --scheduler tcp://10.0.0.5:8786

Without --scheduler it starts a LocalCluster of worker processes on this machine; with it, it
connects to a running scheduler, whose workers must have korvane installed and see the files
under the same paths. It prints each file's summary, then each failure and the count of files
read on standard error, and exits with status 1 when any file failed.
"""

import argparse
import contextlib
import glob
import math
import os
import sys

import distributed

import korvane


def read_chosen(path, columns=None, n_digits=None):
    """Reads one file's chosen columns (all when columns is None) into a Plot, in a worker."""
    return korvane.read_plot(path, n_digits, columns=columns)


def summarize(plot):
    """The Plot reduced to built-in types: its path, its block count and one (name, mean, last)
    per column. The mean is NumPy's pairwise sum in double precision over all blocks, which runs
    without the interpreter lock; both are NaN with no blocks."""
    import numpy  # Dask needs it anyway; the columns are array('f'), viewed without a copy.

    reduced = []
    for name, column in zip(plot.names, plot.columns):
        if len(column):
            values = numpy.frombuffer(column, dtype=numpy.float32)
            reduced.append((name, float(values.mean(dtype=numpy.float64)), column[-1]))
        else:
            reduced.append((name, math.nan, math.nan))
    return {"file_path": plot.file_path, "blocks": plot.blocks, "columns": reduced}


def read_and_reduce(path, columns=None, n_digits=None, reduce=summarize):
    """Reads one file and reduces its Plot in the same task, in a worker, so that the Plot never
    leaves it and is freed as soon as the task ends; reduce=None returns the Plot itself."""
    plot = read_chosen(path, columns, n_digits)
    return plot if reduce is None else reduce(plot)


def sweep(client, paths, columns=None, n_digits=None, reduce=summarize, timeout=None):
    """Reads every file on the client's workers and reduces each Plot with reduce where it was
    read (reduce=None gathers the Plots themselves). Returns ({path: result}, {path: exception})
    in the order of paths; waits at most timeout seconds (None: no bound)."""
    # One task a file, read and reduced together: the scheduler's cost is paid once a file. A
    # read is not pure: the file may have changed since the last sweep that read it.
    futures = client.map(read_and_reduce, paths, columns=columns, n_digits=n_digits,
                         reduce=reduce, pure=False)
    distributed.wait(futures, timeout=timeout)
    results, failures = {}, {}
    for path, future in zip(paths, futures):
        if future.status == "error":
            failures[path] = future.exception(timeout=timeout)
        else:
            results[path] = future.result(timeout=timeout)
    return results, failures


def describe_failure(path, error):
    """One line for a file that failed: its path, and the line and field where they are known."""
    where = "".join(f", {label} {getattr(error, label)}" for label in ("lineno", "field")
                    if getattr(error, label, None) is not None).replace("lineno", "line")
    message = getattr(error, "msg", None) or str(error)
    return f"{path}{where}: {type(error).__name__}: {message}"


def column_choices(text):
    """--columns "PARAM0001,7" as ["PARAM0001", 7]: a bare integer chooses by position."""
    if text is None:
        return None
    return [int(item) if item.lstrip("-").isdigit() else item for item in text.split(",")]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("folder", help="the folder of plot files")
    parser.add_argument("--glob", default="*", help="which files of the folder (default: all)")
    parser.add_argument("--columns", help="parameters to read, names or positions, comma-"
                        "separated (default: all)")
    parser.add_argument("--n-digits", type=int, help="the field width (default: told by the "
                        "first data line)")
    parser.add_argument("--scheduler", help="a running scheduler's address, tcp://host:port "
                        "(default: a LocalCluster on this machine)")
    parser.add_argument("--workers", type=int, default=os.cpu_count(),
                        help="the LocalCluster's worker processes (default: one per core)")
    args = parser.parse_args(argv)
    paths = sorted(path for path in glob.glob(os.path.join(args.folder, args.glob))
                   if os.path.isfile(path))
    # The workers get absolute paths, which do not depend on their working folder; what is
    # printed is each path as the folder given names it.
    given = {os.path.abspath(path): path for path in paths}
    with contextlib.ExitStack() as stack:
        if args.scheduler:
            client = stack.enter_context(distributed.Client(args.scheduler))
        else:
            cluster = stack.enter_context(distributed.LocalCluster(
                n_workers=args.workers, threads_per_worker=1, processes=True))
            client = stack.enter_context(distributed.Client(cluster))
        results, failures = sweep(client, list(given), column_choices(args.columns),
                                  args.n_digits)
    for path, summary in results.items():
        print(f"{given[path]}: {summary['blocks']} blocks")
        for name, mean, last in summary["columns"]:
            print(f"  {name:<16} mean {mean: .6e}  last {last: .6e}")
    for path, error in failures.items():
        print(describe_failure(given[path], error), file=sys.stderr)
    print(f"{len(results)} of {len(paths)} files read", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
