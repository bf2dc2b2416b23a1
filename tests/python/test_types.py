"""The type stub shipped with korvane, checked by mypy on typed uses of the module."""

import ast
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import korvane
from support import HANG

HERE = os.path.dirname(os.path.abspath(__file__))
STUB = os.path.join(HERE, "..", "..", "korvane-stubs", "__init__.pyi")


class StubNamesTest(unittest.TestCase):
    def test_stub_names_what_the_module_has(self):
        with open(STUB, encoding="utf-8") as stub:
            tree = ast.parse(stub.read())
        defined = {node.name for node in tree.body
                   if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
        self.assertEqual(defined, {"rust_read_tolvera", "PanicException", "read_plot", "Plot",
                                   "PlotFormatError", "follow", "Follower", "FollowError",
                                   "open_plot", "PlotFile", "XarrayBackend"})
        self.assertTrue(defined <= set(dir(korvane)))
        stub_all = next(node.value for node in tree.body if isinstance(node, ast.Assign))
        self.assertEqual(ast.literal_eval(stub_all), korvane.__all__)


@unittest.skipIf(shutil.which("mypy") is None, "mypy is not installed (Debian package mypy)")
class StubTest(unittest.TestCase):
    def mypy(self, example):
        """mypy's exit status and report on example, for this interpreter's Python version,
        with the stub as the only source of korvane's types."""
        with tempfile.TemporaryDirectory(prefix="korvane-types-") as stubs:
            shutil.copyfile(STUB, os.path.join(stubs, "korvane.pyi"))
            env = dict(os.environ, MYPYPATH=stubs)
            # mypy runs on its own interpreter, which must not get the sanitizer runtime.
            env.pop("LD_PRELOAD", None)
            version = f"{sys.version_info.major}.{sys.version_info.minor}"
            done = subprocess.run(
                ["mypy", "--cache-dir", os.devnull, "--no-site-packages", "--no-error-summary",
                 "--python-version", version, example],
                cwd=HERE, env=env, capture_output=True, text=True, timeout=HANG)
        return done.returncode, done.stdout

    def test_typed_uses_pass(self):
        self.assertEqual(self.mypy("typed_example.py"), (0, ""))

    def test_wrong_calls_are_reported(self):
        code, report = self.mypy("typed_wrong_calls.py")
        self.assertEqual(code, 1)
        lines = report.lower().splitlines()
        # Older mypy writes List where newer writes list.
        self.assertEqual(lines[:3], [line.lower() for line in [
            'typed_wrong_calls.py:5: error: Argument 1 to "rust_read_tolvera" has incompatible '
            'type "bytes"; expected "str"  [arg-type]',
            'typed_wrong_calls.py:6: error: Incompatible types in assignment (expression has type '
            '"List[List[float]]", variable has type "List[List[str]]")  [assignment]',
            'typed_wrong_calls.py:7: error: Argument 2 to "rust_read_tolvera" has incompatible '
            'type "str"; expected "int"  [arg-type]',
        ]])
        # Unions are written differently from one mypy to the next: the line and the error
        # code tell enough.
        self.assertEqual([(line.split(":")[1], line.rsplit("[", 1)[1]) for line in lines[3:]],
                         [("8", "arg-type]"), ("9", "misc]"), ("10", "list-item]"),
                          ("11", "assignment]")])

if __name__ == "__main__":
    unittest.main()
