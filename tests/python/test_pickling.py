"""A PanicException crossing process boundaries: pickle round trips and process pools."""

import concurrent.futures
import os
import pickle
import re
import subprocess
import sys
import unittest

import korvane
from support import HANG, TempFiles, plot_text, run_child

README = os.path.join(os.path.dirname(__file__), "..", "..", "README.md")

# Runs a script as the main module under the given start method, as `python script.py` would.
RUN_UNDER_START_METHOD = """
import multiprocessing, runpy, sys
multiprocessing.set_start_method(sys.argv[1])
runpy.run_path(sys.argv[2], run_name="__main__")
"""

# PyPy 3.9's executor calls a method it lacks when its workers do not start by forking.
START_METHODS = ["fork", "spawn", "forkserver"]
if not hasattr(concurrent.futures.ProcessPoolExecutor, "_adjust_process_count"):
    START_METHODS = ["fork"]

NOT_FOUND = 'Plot file not found!: Os { code: 2, kind: NotFound, message: "' + os.strerror(2) + '" }'


def panic_of(path, width=12):
    try:
        korvane.rust_read_tolvera(path, width)
    except korvane.PanicException as failure:
        return failure
    raise AssertionError(f"reading {path!r} did not fail")


class PickleTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.failures = [
            panic_of(self.files.path("missing.txt")),
            panic_of(self.files.write(plot_text([["1.0", "x"]]))),
        ]

    def tearDown(self):
        self.files.cleanup()

    def assert_same_failure(self, copy, original):
        self.assertIs(type(copy), korvane.PanicException)
        self.assertEqual(copy.args, original.args)
        self.assertEqual(getattr(copy, "__notes__", None), getattr(original, "__notes__", None))

    def test_round_trip_keeps_type_args_and_note(self):
        for failure in self.failures:
            for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
                with self.subTest(message=str(failure), protocol=protocol):
                    self.assert_same_failure(pickle.loads(pickle.dumps(failure, protocol)),
                                             failure)
        self.assertTrue(hasattr(self.failures[1], "__notes__"))

    def test_another_process_that_imported_korvane_loads_it(self):
        pickled = pickle.dumps(self.failures[1])
        code, out, err = run_child(f"""
            import pickle, korvane
            failure = pickle.loads({pickled!r})
            print(type(failure) is korvane.PanicException, flush=True)
            print(repr(failure.args), flush=True)
            print(repr(failure.__notes__), flush=True)
            """)
        self.assertEqual(code, 0, err)
        expected = [True, self.failures[1].args, self.failures[1].__notes__]
        self.assertEqual(out.decode(), "".join(f"{item!r}\n" for item in expected))


class ProcessPoolTest(unittest.TestCase):
    def test_worker_failure_reaches_the_parent_as_itself(self):
        with concurrent.futures.ProcessPoolExecutor(max_workers=1) as pool:
            future = pool.submit(korvane.rust_read_tolvera, "/nonexistent/plot.txt", 12)
            with self.assertRaises(korvane.PanicException) as caught:
                future.result(timeout=HANG)
        self.assertEqual(caught.exception.args, (NOT_FOUND,))
        self.assertEqual(str(caught.exception), NOT_FOUND)


class DocumentedPoolTest(unittest.TestCase):
    """The README's process-pool example, run as a script, finishes and reports each failure."""

    def documented_example(self):
        with open(README, encoding="utf-8") as readme:
            section = readme.read().split("### Reading many files in a process pool", 1)[1]
        return re.search(r"```python\n(.*?)```", section, re.DOTALL).group(1)

    def test_example_under_every_start_method(self):
        files = TempFiles()
        try:
            files.write(plot_text([["1.0", "2.0"]]), "run1.plt")
            files.write(plot_text([["1.0", "x"]]), "run2.plt")
            script = files.write(self.documented_example(), "example.py")
            # The example prints each failing path with the failure and its notes, as the
            # parent would see them reading that file itself.
            expected = "".join(f"{name} {failure} {getattr(failure, '__notes__', [])}\n"
                               for name in ["run2.plt", "run3.plt"]
                               for failure in [panic_of(files.path(name))])
            expected = expected.replace(files.path(""), "")
            env = dict(os.environ)
            env.pop("RUST_BACKTRACE", None)
            # The script runs in the files' folder: the module's folders must not be relative.
            env["PYTHONPATH"] = os.pathsep.join(
                os.path.abspath(folder) for folder in env.get("PYTHONPATH", "").split(os.pathsep)
                if folder)
            for method in START_METHODS:
                with self.subTest(start_method=method):
                    done = subprocess.run(
                        [sys.executable, "-c", RUN_UNDER_START_METHOD, method, script],
                        cwd=files.path(""), env=env, capture_output=True, text=True, timeout=HANG)
                    self.assertEqual(done.returncode, 0, done.stderr[-3000:])
                    self.assertEqual(done.stdout, expected)
        finally:
            files.cleanup()


if __name__ == "__main__":
    unittest.main()
