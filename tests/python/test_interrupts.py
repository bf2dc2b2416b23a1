"""Signals while a read waits on a FIFO: read_plot acts on them, and every read goes on when the
signal's handler raises nothing."""

import os
import signal
import subprocess
import sys
import textwrap
import time
import unittest

import korvane
from support import TempFiles, plot_text

# The child reads the FIFO once it has read a small file, so that nothing it still has to import
# or open comes between "ready" and the read. SIGUSR1's handler raises nothing.
CHILD = """
import os, signal, sys, korvane
signal.signal(signal.SIGUSR1, lambda *_: os.write(2, b"handled\\n"))
CALL(SMALL)
print("ready", flush=True)
try:
    print(repr(COLUMNS(CALL(FIFO))), flush=True)
except BaseException as failure:
    print(repr(failure), flush=True)
"""

# Each call as the child makes it, and how its columns are made lists of floats.
CALLS = {
    "read_plot": ("lambda path: korvane.read_plot(path, 12)",
                  "lambda plot: [list(column) for column in plot]"),
    "rust_read_tolvera": ("lambda path: korvane.rust_read_tolvera(path, 12)",
                          "lambda columns: columns"),
}

# Where the kernel keeps a process that waits to open a FIFO, and to read from it (pipe_read, or
# anon_pipe_read on newer kernels).
WAITING_TO_OPEN = "wait_for_partner"
WAITING_TO_READ = "pipe_read"

DEADLINE = 30.0


def wait_until_blocked(child, place):
    """Returns once the child's main thread sleeps in a kernel function whose name holds place."""
    deadline = time.monotonic() + DEADLINE
    while True:
        with open(f"/proc/{child.pid}/wchan") as wchan:
            if place in wchan.read():
                return
        if child.poll() is not None or time.monotonic() > deadline:
            raise AssertionError(f"the child never waited in {place}")
        time.sleep(0.001)


@unittest.skipUnless(os.path.exists("/proc/self/wchan"), "needs /proc/<pid>/wchan")
class SignalWhileWaitingTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)
        rows = [[f"{block}.{param}E+00" for param in range(15)] for block in range(300)]
        self.text = plot_text(rows)
        self.small = self.files.write(plot_text(rows[:2]), "small.txt")
        self.fifos = 0

    def start_child(self, call):
        self.fifos += 1
        self.fifo = self.files.path(f"plot{self.fifos}.fifo")
        os.mkfifo(self.fifo)
        read, columns = CALLS[call]
        code = (f"CALL = {read}\nCOLUMNS = {columns}\nSMALL = {self.small!r}\n"
                f"FIFO = {self.fifo!r}\n" + CHILD)
        env = dict(os.environ)
        env.pop("RUST_BACKTRACE", None)
        child = subprocess.Popen([sys.executable, "-c", textwrap.dedent(code)],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        self.addCleanup(child.wait)
        self.addCleanup(child.kill)
        self.assertEqual(child.stdout.readline(), b"ready\n")
        return child

    def outcome(self, child):
        try:
            out, err = child.communicate(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            self.fail("the child went on waiting after the signal")
        self.assertEqual(child.returncode, 0, err[-2000:])
        return out.decode(), err.decode()

    def signal_while_waiting(self, call, signal_number, to_open, then_write):
        """Sends the signal while the child waits to open the FIFO, or to read the rest of the
        file's first line from it. Then the whole file is written when then_write, and the FIFO
        is left as it is otherwise; returns the child's output once it ended."""
        child = self.start_child(call)
        writer = None
        try:
            if not to_open:
                writer = self.open_writer(child)
                writer.write(self.text[:5].encode())
            wait_until_blocked(child, WAITING_TO_OPEN if to_open else WAITING_TO_READ)
            child.send_signal(signal_number)
            if then_write:
                writer = writer or self.open_writer(child)
                writer.write(self.text[0 if to_open else 5:].encode())
                writer.close()
            return self.outcome(child)
        finally:
            if writer is not None:
                writer.close()

    def open_writer(self, child):
        """The FIFO opened for writing once the child opens it for reading."""
        deadline = time.monotonic() + DEADLINE
        while True:
            try:
                fd = os.open(self.fifo, os.O_WRONLY | os.O_NONBLOCK)
            except OSError:
                if child.poll() is not None or time.monotonic() > deadline:
                    raise AssertionError("the child never opened the FIFO")
                time.sleep(0.001)
                continue
            os.set_blocking(fd, True)
            return open(fd, "wb", buffering=0)

    def test_ctrl_c_stops_read_plot(self):
        for to_open in (True, False):
            with self.subTest(waiting="to open" if to_open else "to read"):
                # Nothing more is written: the child ends only if it stops waiting.
                out, _ = self.signal_while_waiting("read_plot", signal.SIGINT, to_open, False)
                self.assertEqual(out, "KeyboardInterrupt()\n")

    def test_ctrl_c_leaves_rust_read_tolvera_to_finish_its_read(self):
        # The interrupted call is repeated and the whole file read. CPython raises the
        # KeyboardInterrupt once the call returns; PyPy raises it in the conversion of the
        # values, whose failure to make an object ends the call as such failures do.
        for to_open in (True, False):
            with self.subTest(waiting="to open" if to_open else "to read"):
                out, err = self.signal_while_waiting("rust_read_tolvera", signal.SIGINT, to_open,
                                                     True)
                if hasattr(sys, "pypy_version_info"):
                    self.assertEqual(out, "PanicException('PyObject pointer is null')\n")
                    self.assertTrue(err.startswith("Exception ignored in"), err)
                    self.assertIn("\nKeyboardInterrupt\n", err)
                else:
                    self.assertEqual((out, err), ("KeyboardInterrupt()\n", ""))

    def test_a_handler_raising_nothing_lets_the_read_go_on(self):
        expected = repr(korvane.rust_read_tolvera(self.files.write(self.text), 12)) + "\n"
        for call in CALLS:
            for to_open in (True, False):
                with self.subTest(call=call, waiting="to open" if to_open else "to read"):
                    out, err = self.signal_while_waiting(call, signal.SIGUSR1, to_open, True)
                    self.assertEqual(out, expected)
                    self.assertEqual(err, "handled\n")


if __name__ == "__main__":
    unittest.main()
