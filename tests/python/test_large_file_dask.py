"""The large-file Dask example on a LocalCluster of two one-thread workers whose memory limit is
below the file's float32 data: the statistics of local reads, no worker restarted, paused or
spilling, and no process left behind."""

import os
import pickle
import random
import sys
import textwrap
import unittest

import korvane
from support import TempFiles, plot_text, run_in_session
from test_dask_sweep import DISTRIBUTED_MISSING, EXAMPLES, left_running

# Each worker's limit. A worker with NumPy, Dask's arrays and korvane imported holds about
# 110 MiB here; Dask spills its data at 70% of the limit and pauses the worker at 80%.
MEMORY_LIMIT = 256 << 20
CHUNK = "16 MiB"
PARAMETERS = 100
# The file repeats a pattern of 1,000 random blocks: 280 MB of float32 values, 860 MB of text.
PATTERN_BLOCKS, REPEATS = 1000, 700

# Runs the example in a child interpreter, in a session of its own, so that a cluster that hangs
# is ended with every process it started. It writes to the file named by argv[1] the workers'
# pids before and after, what each worker says of itself (idle and peak RSS, disk writes,
# status), what the example printed, and the pids of all the child's descendants.
CHILD = textwrap.dedent("""
    import contextlib, io, os, pickle, sys
    import distributed, psutil
    sys.path.insert(0, sys.argv[2])
    import large_file_dask
    path, limit, chunk = sys.argv[3], int(sys.argv[4]), sys.argv[5]

    def rss(field):
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith(field + ":"):
                    return int(line.split()[1]) * 1024

    def idle():
        import numpy, dask.array, korvane
        return rss("VmRSS")

    def facts(dask_worker):
        return {"peak": rss("VmHWM"), "status": str(dask_worker.status),
                "disk_writes": dask_worker.data.get_metrics()["disk_write_count_total"]}

    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  memory_limit=limit, host="127.0.0.1",
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster, timeout=300) as client:
            client.wait_for_workers(2, timeout=300)
            workers = sorted(client.run(os.getpid).values())
            idle_rss = sorted(client.run(idle).values())
            out = io.StringIO()
            with contextlib.redirect_stdout(out):
                status = large_file_dask.main([path, "--chunks", chunk,
                                               "--scheduler", cluster.scheduler_address])
            after = sorted(client.run(os.getpid).values())
            worker_facts = list(client.run(facts).values())
            descendants = [(p.pid, p.create_time(), " ".join(p.cmdline()))
                           for p in psutil.Process().children(recursive=True)]
    alive = [pid for pid in workers if psutil.pid_exists(pid)
             and psutil.Process(pid).status() != psutil.STATUS_ZOMBIE]
    assert not alive, f"worker processes {alive} outlive their cluster"
    with open(sys.argv[1], "wb") as out_file:
        pickle.dump((workers, after, idle_rss, worker_facts, status, out.getvalue(),
                     descendants), out_file)
    """)


def write_large_file(path, rng):
    rows = [[f"{rng.uniform(-1, 1) * 10.0 ** (parameter % 7 - 3):.5E}"
             for parameter in range(PARAMETERS)] for _ in range(PATTERN_BLOCKS)]
    text = plot_text(rows).encode()
    head_end = text.index(b" TIME")
    with open(path, "wb") as out:
        out.write(text[:head_end])
        for _ in range(REPEATS):
            out.write(text[head_end:])


def local_statistics(path, chunk_bytes):
    """(sum, minimum, maximum, count) of every parameter, over local reads of chunk_bytes of
    values at a time."""
    import numpy
    with korvane.open_plot(path) as plot_file:
        blocks, per_chunk = plot_file.blocks, chunk_bytes // (4 * PARAMETERS)
        totals = numpy.zeros(PARAMETERS)
        minima = numpy.full(PARAMETERS, numpy.inf, dtype=numpy.float32)
        maxima = numpy.full(PARAMETERS, -numpy.inf, dtype=numpy.float32)
        for first in range(0, blocks, per_chunk):
            values = plot_file.read(blocks=slice(first, first + per_chunk)).to_numpy()
            totals += values.sum(axis=1, dtype=numpy.float64)
            minima = numpy.minimum(minima, values.min(axis=1))
            maxima = numpy.maximum(maxima, values.max(axis=1))
        return plot_file.names, totals / blocks, minima, maxima


@unittest.skipIf(DISTRIBUTED_MISSING, DISTRIBUTED_MISSING)
@unittest.skipIf(os.environ.get("KORVANE_SANITIZED"),
                 "the address sanitizer's shadow memory and quarantine are counted in a worker's "
                 "memory, which a limit of 256 MiB cannot hold")
class LargeFileTest(unittest.TestCase):
    def test_statistics_within_the_workers_memory(self):
        files = TempFiles()
        self.addCleanup(files.cleanup)
        path = files.path("large.plt")
        write_large_file(path, random.Random(7))
        self.assertGreater(PATTERN_BLOCKS * REPEATS * PARAMETERS * 4, MEMORY_LIMIT)
        out = files.path("gathered.pickle")
        run_in_session(self, [sys.executable, "-c", CHILD, out, str(EXAMPLES), path,
                              str(MEMORY_LIMIT), CHUNK], "the example")
        with open(out, "rb") as gathered:
            workers, after, idle_rss, worker_facts, status, printed, descendants = pickle.load(
                gathered)

        self.assertEqual(len(workers), 2)
        self.assertEqual(after, workers, "a worker was restarted")
        self.assertEqual(left_running(descendants), [])
        for facts in worker_facts:
            self.assertEqual(facts["disk_writes"], 0, facts)
            self.assertEqual(facts["status"], "Status.running", facts)
            # Below the limit at which Dask pauses a worker, with room to spare.
            self.assertLess(facts["peak"], 0.8 * MEMORY_LIMIT, (facts, idle_rss))

        self.assertEqual(status, 0)
        names, means, minima, maxima = local_statistics(path, 16 << 20)
        rows = [line.split("\t") for line in printed.splitlines()]
        self.assertEqual([row[0] for row in rows], list(names))
        for row, mean, low, high in zip(rows, means, minima, maxima):
            with self.subTest(parameter=row[0]):
                self.assertEqual((float(row[2]), float(row[3])), (float(low), float(high)))
                self.assertAlmostEqual(float(row[1]), mean, delta=abs(mean) * 1e-12)


if __name__ == "__main__":
    unittest.main()
