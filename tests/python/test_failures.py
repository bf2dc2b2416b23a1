"""Fatal failures as Python sees them: PanicException, its messages, and its resumption."""

import os
import sys
import unittest

import korvane
from support import TempFiles, plot_text, run_child

read = korvane.rust_read_tolvera


def panic_of(path, width=12):
    """The PanicException raised by a call that must fail."""
    try:
        read(path, width)
    except BaseException as failure:
        return failure
    raise AssertionError(f"reading {path!r} did not fail")


class PanicExceptionTest(unittest.TestCase):
    def test_type_facts(self):
        panic_type = type(panic_of("/nonexistent/plot.txt"))
        self.assertEqual(panic_type.__name__, "PanicException")
        self.assertEqual(panic_type.__module__, "pyo3_runtime")
        self.assertEqual(panic_type.__bases__, (BaseException,))
        self.assertFalse(issubclass(panic_type, Exception))
        self.assertTrue(panic_type.__doc__.startswith("\n"))
        self.assertTrue(panic_type.__doc__.endswith("\n"))
        self.assertIn("BaseException", panic_type.__doc__)

    def test_not_caught_as_exception(self):
        with self.assertRaises(BaseException) as caught:
            try:
                read("/nonexistent/plot.txt", 12)
            except Exception:
                self.fail("PanicException was caught as an Exception")
        self.assertEqual(type(caught.exception).__name__, "PanicException")

    def test_one_type_object_per_process(self):
        from test_module import fresh_module

        files = TempFiles()
        try:
            empty = files.write("", "empty.txt")
            failures = [panic_of("/nonexistent/plot.txt"), panic_of(empty)]
            try:
                fresh_module().rust_read_tolvera(empty, 12)
            except BaseException as failure:
                failures.append(failure)
        finally:
            files.cleanup()
        self.assertEqual(len(failures), 3)
        self.assertEqual(len({id(type(failure)) for failure in failures}), 1)

    def test_module_attribute_is_the_type_of_every_failure(self):
        from test_module import fresh_module

        files = TempFiles()
        try:
            paths = [
                files.path("missing.txt"),
                files.write("", "empty.txt"),
                files.path(""),
                files.write(" count x\n", "count.txt"),
                files.write("title 2\na\n", "names.txt"),
                files.write(plot_text([["1.0"]]) + " TIME = 1\n", "data_line.txt"),
                files.write(plot_text([["1.0"]]) + " TIME = 1\n 1.0\n", "short.txt"),
                files.write(plot_text([["x"]]), "field.txt"),
            ]
            for path in paths:
                with self.subTest(path=os.path.basename(path)):
                    with self.assertRaises(korvane.PanicException) as caught:
                        read(path, 12)
                    self.assertIs(type(caught.exception), korvane.PanicException)
        finally:
            files.cleanup()
        self.assertIs(fresh_module().PanicException, korvane.PanicException)
        self.assertNotIn("PanicException", korvane.__all__)
        self.assertEqual(korvane.__all__, ["rust_read_tolvera", "read_plot", "Plot",
                                          "PlotFormatError", "follow", "Follower", "FollowError",
                                          "open_plot", "PlotFile"])

    def test_pickle_finds_the_type_where_its_name_says(self):
        panic_type = korvane.PanicException
        self.assertIs(getattr(sys.modules[panic_type.__module__], panic_type.__qualname__),
                      panic_type)

    def test_args_hold_the_message_alone(self):
        failure = panic_of("/nonexistent/plot.txt")
        self.assertEqual(len(failure.args), 1)
        self.assertEqual(failure.args[0], str(failure))


class ReaderFailuresTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()

    def tearDown(self):
        self.files.cleanup()

    def test_messages(self):
        not_found = ('Plot file not found!: Os { code: 2, kind: NotFound, message: "'
                     + os.strerror(2) + '" }')
        cases = [
            (self.files.path("missing.txt"), not_found),
            (self.files.write("", "empty.txt"), "Failed ot read line!"),
            (self.files.write(" count x\n", "count.txt"),
             "The first line should end with the number of parameters:\n' count x'"),
            (self.files.write(plot_text([["1.0", "abc"]]), "field.txt"),
             "Could not parse line: ParseFloatError { kind: Invalid }"),
            (self.files.write(plot_text([["1.0", "      "]]), "blank.txt"),
             "Could not parse line: ParseFloatError { kind: Empty }"),
        ]
        for path, message in cases:
            with self.subTest(path=os.path.basename(path)):
                failure = panic_of(path)
                self.assertEqual(type(failure).__name__, "PanicException")
                self.assertEqual(str(failure), message)
                self.assertEqual(failure.args, (message,))

    def test_bad_count_writes_its_notice_to_standard_output(self):
        path = self.files.write(" count x\n", "count.txt")
        code, out, _ = run_child(f"""
            import korvane
            try:
                korvane.rust_read_tolvera({path!r}, 12)
            except BaseException as failure:
                print(type(failure).__name__, flush=True)
            """)
        self.assertEqual(code, 0)
        self.assertEqual(out, b"Error: 'x' is not a valid number of parameters!\nPanicException\n")

    def test_failed_call_leaves_no_exception_behind(self):
        code, out, err = run_child("""
            import sys, korvane
            for _ in range(3):
                try:
                    korvane.rust_read_tolvera("/nonexistent/plot.txt", 12)
                except BaseException:
                    pass
            print(sys.exc_info(), flush=True)
            """)
        self.assertEqual((code, out), (0, b"(None, None, None)\n"), err)


class ResumptionTest(unittest.TestCase):
    BANNER = (b"--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n"
              b"Python stack trace below:\n")

    def run_resumption(self, make_panic):
        return run_child(f"""
            import korvane
            try:
                korvane.rust_read_tolvera("/nonexistent/plot.txt", 12)
            except BaseException as earlier:
                first = earlier
            class Unprintable:
                def __str__(self):
                    raise RuntimeError("no str")
            {make_panic}
            class Width:
                def __index__(self):
                    raise panic
            try:
                korvane.rust_read_tolvera("/nonexistent/other.txt", Width())
            except BaseException as failure:
                print(type(failure) is type(first), failure is panic, failure.args, flush=True)
            """)

    def test_panic_from_index_is_resumed_with_its_message(self):
        code, out, err = self.run_resumption("panic = first")
        self.assertEqual(code, 0, err)
        message = 'Plot file not found!: Os { code: 2, kind: NotFound, message: "' + os.strerror(2)
        self.assertEqual(out, ("True False ('" + message + "\" }',)\n").encode())
        start = err.index(self.BANNER)
        printed = err[start + len(self.BANNER):].decode()
        self.assertTrue(printed.startswith("Traceback (most recent call last):\n"), printed)
        self.assertIn("in __index__", printed)
        self.assertTrue(printed.endswith("pyo3_runtime.PanicException: " + message + '" }\n'),
                        printed)

    def test_panic_whose_str_fails(self):
        code, out, err = self.run_resumption("panic = type(first)(Unprintable())")
        self.assertEqual(code, 0, err)
        self.assertEqual(out, b"True False ('Unwrapped panic from Python code',)\n")
        self.assertIn(self.BANNER, err)


if __name__ == "__main__":
    unittest.main()
