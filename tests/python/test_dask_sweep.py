"""The Dask sweep example on a LocalCluster of two worker processes: results as read locally,
a failing file reported with its line and field, and no processes left behind."""

import math
import os
import pathlib
import pickle
import random
import struct
import sys
import textwrap
import unittest

import korvane
from support import TempFiles, plot_text, run_in_session

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"

sys.path.insert(0, str(EXAMPLES))
try:
    import sweep_dask
    import psutil
except ImportError as missing:
    DISTRIBUTED_MISSING = (f"Dask's distributed scheduler, which needs psutil, cannot be imported "
                           f"by this interpreter: {missing}")
else:
    DISTRIBUTED_MISSING = None

# Runs the sweep in a child interpreter, in a session of its own, so that a cluster that hangs
# is ended with every process it started. It writes what it gathered, the example's command run
# from the runs' parent folder (its exit status and what it printed), and the pids of all its
# descendants while the cluster ran, with their start times, to the file named by argv[1].
CHILD = textwrap.dedent("""
    import contextlib, io, os, pickle, sys
    import distributed, psutil
    sys.path.insert(0, sys.argv[2])
    import sweep_dask
    paths, columns = pickle.loads(bytes.fromhex(sys.argv[3]))
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  host="127.0.0.1", dashboard_address=None) as cluster:
        with distributed.Client(cluster, timeout=300) as client:
            client.wait_for_workers(2, timeout=300)
            workers = sorted(client.run(os.getpid).values())
            summaries = sweep_dask.sweep(client, paths, columns, timeout=300)
            plots = sweep_dask.sweep(client, paths, columns, reduce=None, timeout=300)
            os.chdir(os.path.dirname(os.path.dirname(paths[0])))
            out, err = io.StringIO(), io.StringIO()
            with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
                status = sweep_dask.main([os.path.basename(os.path.dirname(paths[0])),
                                          "--glob", "run*.plt", "--columns", "P3,17,P22,-19",
                                          "--scheduler", cluster.scheduler_address])
            command = (status, out.getvalue(), err.getvalue())
            descendants = [(p.pid, p.create_time(), " ".join(p.cmdline()))
                           for p in psutil.Process().children(recursive=True)]
    # Closing the cluster has ended its worker processes.
    alive = [pid for pid in workers if psutil.pid_exists(pid)
             and psutil.Process(pid).status() != psutil.STATUS_ZOMBIE]
    assert not alive, f"worker processes {alive} outlive their cluster"
    with open(sys.argv[1], "wb") as out:
        pickle.dump((workers, descendants, summaries, plots, command), out)
    """)


def float_bits(value):
    return struct.unpack("<Q", struct.pack("<d", value))[0]


def summary_bits(summary):
    """A summary with its floats as bit patterns, so that equal means equal bit for bit."""
    return (summary["file_path"], summary["blocks"],
            [(name, float_bits(mean), float_bits(last)) for name, mean, last in summary["columns"]])


def left_running(descendants, grace=60):
    """Those of the (pid, start time, command) that still run after grace seconds. The
    multiprocessing resource tracker ends only when it sees its parent's pipe close."""
    processes = []
    for pid, started, command in descendants:
        try:
            process = psutil.Process(pid)
            if process.create_time() == started:
                processes.append((process, command))
        except psutil.NoSuchProcess:
            pass
    _, alive = psutil.wait_procs([process for process, _ in processes], timeout=grace)
    return [command for process, command in processes if process in alive and running(process)]


def running(process):
    try:
        return process.status() != psutil.STATUS_ZOMBIE
    except psutil.NoSuchProcess:
        return False


@unittest.skipIf(DISTRIBUTED_MISSING, DISTRIBUTED_MISSING)
class LocalClusterSweepTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)

    def write_runs(self, rng):
        """16 runs of 23 parameters, widths 12 and 15; run 5 has a bad field, whose expected
        line and field are returned with the paths."""
        paths, bad = [], None
        for run in range(16):
            width = 12 if run % 2 else 15
            form = "{:12.5E}" if width == 12 else "{:15.8E}"
            blocks = rng.randint(1, 60)
            rows = [[form.format(rng.uniform(-1e3, 1e3) * 10.0 ** rng.randint(-30, 30))
                     for _ in range(23)] for _ in range(blocks)]
            if run == 5:
                block, parameter = blocks // 2, 17
                rows[block][parameter] = "1.0e+3x"
                # Title, 23 names, then per block a header and three data lines.
                bad = (2 + 23 + block * 4 + 1 + parameter // 10, parameter % 10 + 1)
            paths.append(self.files.write(plot_text(rows, width), f"run{run:02d}.plt"))
        return paths, bad

    def test_sweep_matches_local_reads(self):
        paths, (bad_line, bad_field) = self.write_runs(random.Random(19))
        columns = ["P3", 17, "P22", -19]
        out = self.files.path("gathered.pickle")
        arguments = pickle.dumps((paths, columns)).hex()
        run_in_session(self, [sys.executable, "-c", CHILD, out, str(EXAMPLES), arguments],
                       "the sweep")
        with open(out, "rb") as gathered:
            workers, descendants, (summaries, failures), (plots, plot_failures), \
                (status, printed, printed_errors) = pickle.load(gathered)

        self.assertEqual(len(workers), 2)
        self.assertLessEqual(set(workers), {pid for pid, _, _ in descendants})
        self.assertEqual(left_running(descendants), [])

        good = [path for path in paths if path != paths[5]]
        self.assertEqual(list(summaries), good)
        self.assertEqual(list(plots), good)
        for path in good:
            local = korvane.read_plot(path, columns=columns)
            with self.subTest(path=os.path.basename(path)):
                self.assertEqual(plots[path], local)
                self.assertEqual(local.names, ("P3", "P17", "P22", "P4"))
                self.assertEqual(summary_bits(summaries[path]),
                                 summary_bits(sweep_dask.summarize(local)))
                self.assertFalse(any(math.isnan(mean) for _, mean, _ in
                                     summaries[path]["columns"]))

        for gathered in (failures, plot_failures):
            self.assertEqual(list(gathered), [paths[5]])
            error = gathered[paths[5]]
            self.assertIs(type(error), korvane.PlotFormatError)
            self.assertEqual((error.filename, error.lineno, error.field),
                             (paths[5], bad_line, bad_field))
            with self.assertRaises(korvane.PlotFormatError) as local:
                korvane.read_plot(paths[5], columns=columns)
            self.assertEqual(error.args, local.exception.args)
        self.assertEqual(sweep_dask.describe_failure(paths[5], failures[paths[5]]),
                         f"{paths[5]}, line {bad_line}, field {bad_field}: PlotFormatError: "
                         f"{failures[paths[5]].msg}")

        # The command names each file as the folder given on its command line does, and fails.
        folder = os.path.basename(os.path.dirname(paths[0]))
        self.assertEqual(status, 1)
        self.assertEqual([line.split(":")[0] for line in printed.splitlines()
                          if not line.startswith(" ")],
                         [os.path.join(folder, os.path.basename(path)) for path in good])
        self.assertEqual(printed_errors.splitlines(), [
            sweep_dask.describe_failure(os.path.join(folder, "run05.plt"), failures[paths[5]]),
            "15 of 16 files read"])


if __name__ == "__main__":
    unittest.main()
