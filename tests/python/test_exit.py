"""The process exits cleanly while daemon threads are inside failing reads."""

import unittest

from support import TempFiles, plot_text, run_child

# Daemon threads call a failing read in a loop; the main thread exits once each has failed at
# least once, so that every thread is in the loop when the interpreter finalizes. On CPython a
# thread that takes the interpreter lock back then is ended by pthread_exit: taking it back while
# a failure unwound made that ending abort the process.
FAILING_DAEMONS_CHILD = """
import threading, korvane
looping = [threading.Event() for _ in range(4)]
def loop(started):
    while True:
        try:
            CALL()
        except BaseException:
            started.set()
for started in looping:
    threading.Thread(target=loop, args=(started,), daemon=True).start()
for started in looping:
    started.wait()
"""

CALLS = {
    "read_plot": "CALL = lambda: korvane.read_plot(PATH, 12)",
    "follow": "CALL = lambda: korvane.follow(PATH, 12).read()",
    "follow of a missing file": "CALL = lambda: korvane.follow(PATH + '.missing', 12)",
    "rust_read_tolvera": "CALL = lambda: korvane.rust_read_tolvera(PATH, 12)",
}

RUNS = 20


class FailingDaemonsAtExitTest(unittest.TestCase):
    def test_exit_while_daemon_threads_fail(self):
        files = TempFiles()
        self.addCleanup(files.cleanup)
        # Many complete blocks, then a field that is not a number: each read takes a while
        # before it fails, so threads are often inside the reader when finalization starts.
        rows = [[f"{block}.{param}E+00" for param in range(20)] for block in range(200)]
        text = plot_text(rows)
        path = files.write(text[:-13] + "not a number\n")
        for name, call in CALLS.items():
            with self.subTest(call=name):
                child = f"PATH = {path!r}\n" + FAILING_DAEMONS_CHILD.replace(
                    "import threading, korvane\n", f"import threading, korvane\n{call}\n")
                outcomes = [run_child(child) for _ in range(RUNS)]
                failed = [(code, err) for code, _, err in outcomes
                          if code != 0 or b"terminate" in err]
                self.assertEqual(len(failed), 0,
                                 f"{len(failed)} of {RUNS} runs: {failed[:1]!r}"[-2000:])


if __name__ == "__main__":
    unittest.main()
