"""How long read_plot and follow take to raise KeyboardInterrupt after SIGINT, for reads that wait
or that read much.

A child process makes the read; the parent sends SIGINT once the child has been reading for a
while (--delay), and the child prints CLOCK_MONOTONIC, which processes share, when the
KeyboardInterrupt reaches it. The latency is that time less the time the signal was sent. The
sources: a FIFO without a writer (the read waits in open), /dev/zero (one endless line), a sparse
file of --sparse-gb GB (NUL bytes), and a valid plot file of --plot-mb MB made by repeating one
block; follow reads the sparse and the plot file (it refuses the others).

    PYTHONPATH=build/cpython /usr/bin/python3 bench/interrupt_latency.py
    PYTHONPATH=build/pypy pypy3 bench/interrupt_latency.py
"""

import argparse
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

CHILD = """
import sys, time, korvane
call, path = sys.argv[1], sys.argv[2]
read = (lambda: korvane.read_plot(path, 12)) if call == "read_plot" else korvane.follow(path, 12).read
print("ready", flush=True)
try:
    read()
    print("finished", time.monotonic(), flush=True)
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), flush=True)
except Exception as failure:
    print("failed", time.monotonic(), type(failure).__name__, flush=True)
"""


def write_plot_file(path, megabytes):
    """A valid plot file of 100 parameters, about megabytes MB, one block repeated."""
    block = " TIME = 0\n" + "\n".join(" 1.00000E+00" * 10 for _ in range(10)) + "\n"
    head = " TOLVERA latency 100\n" + "".join(f" P{i}\n" for i in range(100))
    chunk = (block * 1000).encode()
    with open(path, "wb") as out:
        out.write(head.encode())
        for _ in range(max(1, megabytes * 10**6 // len(chunk))):
            out.write(chunk)


def latency(call, path, delay):
    """Seconds from SIGINT to the child's KeyboardInterrupt, or what ended the read instead."""
    child = subprocess.Popen([sys.executable, "-c", CHILD, call, path], stdout=subprocess.PIPE,
                             text=True)
    try:
        assert child.stdout.readline() == "ready\n"
        time.sleep(delay)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        outcome, *rest = child.stdout.readline().split()
        child.wait()
        if outcome == "failed":
            return f"failed ({rest[1]})"
        return float(rest[0]) - sent if outcome == "interrupted" else "finished before the signal"
    finally:
        child.kill()
        child.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--delay", type=float, default=0.5, help="seconds of reading before SIGINT")
    parser.add_argument("--sparse-gb", type=int, default=10)
    parser.add_argument("--plot-mb", type=int, default=2000)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="korvane-latency-") as directory:
        fifo, sparse, plot = (os.path.join(directory, name)
                              for name in ("plot.fifo", "sparse.plt", "plot.plt"))
        os.mkfifo(fifo)
        with open(sparse, "wb") as out:
            out.truncate(args.sparse_gb * 10**9)
        write_plot_file(plot, args.plot_mb)
        cases = [("read_plot", "FIFO without a writer", fifo),
                 ("read_plot", "/dev/zero", "/dev/zero"),
                 ("read_plot", f"sparse file of {args.sparse_gb} GB", sparse),
                 ("read_plot", f"plot file of {os.path.getsize(plot) / 1e6:.0f} MB", plot),
                 ("follow", f"sparse file of {args.sparse_gb} GB", sparse),
                 ("follow", f"plot file of {os.path.getsize(plot) / 1e6:.0f} MB", plot)]
        print(f"{sys.implementation.name}, {args.runs} runs each, SIGINT after {args.delay} s")
        for call, name, path in cases:
            outcomes = [latency(call, path, args.delay) for _ in range(args.runs)]
            times = [outcome for outcome in outcomes if isinstance(outcome, float)]
            others = sorted({outcome for outcome in outcomes if not isinstance(outcome, float)})
            line = f"{call:9} {name:28}"
            if times:
                line += (f" median {statistics.median(times) * 1e3:7.1f} ms,"
                         f" max {max(times) * 1e3:7.1f} ms")
            print(line + "".join(f"; {outcome}" for outcome in others))


if __name__ == "__main__":
    main()
