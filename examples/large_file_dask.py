"""The mean, minimum and maximum of every parameter of one plot file larger than memory, on Dask.

The file becomes a lazy Dask array (PlotFile.to_dask): a task per chunk of blocks, each reading its
chunk where it runs, so that no worker holds more than a few chunks at once and only the small
per-chunk results travel. The three reductions share the reads: each chunk is read once.

    python3 examples/large_file_dask.py run.plt
    python3 examples/large_file_dask.py run.plt --chunks "64 MiB" --memory-limit "1 GiB"
    python3 examples/large_file_dask.py run.plt --scheduler tcp://10.0.0.5:8786

Without --scheduler it starts a LocalCluster of worker processes on this machine, one thread
each; with it, it connects to a running scheduler, whose workers must have korvane installed and
see the file under the same path. It prints a line per parameter: its name, mean, minimum and
maximum (the mean summed in double precision).
"""

import argparse
import contextlib
import sys

import dask
import distributed
import numpy

import korvane


def parameter_statistics(path, n_digits=None, chunks=None):
    """[(name, mean, minimum, maximum)] for every parameter of the file, computed on the Dask
    scheduler in use (the distributed client's, when one is made)."""
    with korvane.open_plot(path, n_digits) as plot_file:
        names = plot_file.names
        values = plot_file.to_dask(chunks)
    means, minima, maxima = dask.compute(values.mean(axis=1, dtype=numpy.float64),
                                         values.min(axis=1), values.max(axis=1))
    return [(name, float(mean), float(low), float(high))
            for name, mean, low, high in zip(names, means, minima, maxima)]


@contextlib.contextmanager
def connected(scheduler, workers, memory_limit):
    """A client of the scheduler at that address, or of a LocalCluster of worker processes."""
    if scheduler is not None:
        with distributed.Client(scheduler) as client:
            yield client
        return
    with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                  memory_limit=memory_limit, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            yield client


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("path", help="the plot file")
    parser.add_argument("--n-digits", type=int, default=None,
                        help="the width of a data field (default: told by the first data line)")
    parser.add_argument("--chunks", default=None,
                        help='values a chunk, as a size ("64 MiB"), or blocks a chunk (an int); '
                             "default about 128 MiB")
    parser.add_argument("--scheduler", default=None, help="the address of a running scheduler")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of a local "
                        "cluster (default 2)")
    parser.add_argument("--memory-limit", default="auto",
                        help='memory of each local worker, as a size ("512 MiB")')
    args = parser.parse_args(argv)
    chunks = int(args.chunks) if args.chunks is not None and args.chunks.isdigit() else args.chunks
    with connected(args.scheduler, args.workers, args.memory_limit):
        rows = parameter_statistics(args.path, args.n_digits, chunks)
    for name, mean, low, high in rows:
        print(f"{name}\t{mean!r}\t{low!r}\t{high!r}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
