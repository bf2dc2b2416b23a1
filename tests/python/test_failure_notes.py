"""The note on a PanicException that says where in the plot file the read failed."""

import os
import sys
import unittest

import conversion_probe
import korvane
from support import TempFiles, plot_text, run_child


def panic_of(path, width):
    """The PanicException raised by a call that must fail."""
    try:
        korvane.rust_read_tolvera(path, width)
    except korvane.PanicException as failure:
        return failure
    raise AssertionError(f"reading {path!r} did not fail")


def w12(*values):
    return "".join(value.rjust(12) for value in values)


class FailureNoteTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()

    def tearDown(self):
        self.files.cleanup()

    def test_failures_that_concern_a_line(self):
        two_blocks = plot_text([["1.0", "2.0"], ["3.0", "4.0"]])
        # (name, file contents, width, message, where the note says after the path)
        cases = [
            ("invalid_utf8_on_line_4", b"title 0\nok\nok\n\xff\n", 12,
             'Failed to read line!: Error { kind: InvalidData, message: '
             '"stream did not contain valid UTF-8" }', ", line 4"),
            ("missing_data_line", two_blocks + " TIME = 2\n", 12, "Error reading line",
             ", line 9"),
            ("short_data_line", "2\na\nb\nh\n" + w12("1.0") + "\n", 12,
             "byte index 24 is out of bounds of `" + w12("1.0") + "`",
             ", line 5, field 2 (bytes 12 to 24)"),
            ("bad_field_in_second_block", plot_text([["1.0", "2.0", "3.0"],
                                                     ["4.0", "5.0", "6.0D+00"]]), 12,
             "Could not parse line: ParseFloatError { kind: Invalid }",
             ", line 8, field 3 (bytes 24 to 36)"),
            ("blank_field_on_second_data_line",
             plot_text([[f"{i}.0" for i in range(10)] + ["1.0", " "]]), 12,
             "Could not parse line: ParseFloatError { kind: Empty }",
             ", line 16, field 2 (bytes 12 to 24)"),
        ]
        for name, contents, width, message, where in cases:
            with self.subTest(name):
                path = self.files.write(contents, "it's " + name + ".plt")
                failure = panic_of(path, width)
                self.assertEqual(failure.args, (message,))
                self.assertEqual(str(failure), message)
                self.assertEqual(failure.__notes__, ["in plot file " + repr(path) + where])

    def test_directory_names_its_first_line(self):
        failure = panic_of(self.files.path(""), 12)
        self.assertTrue(str(failure).startswith("Failed to read line!: Os { code: 21"), failure)
        self.assertEqual(failure.__notes__,
                         ["in plot file " + repr(self.files.path("")) + ", line 1"])

    def test_failures_before_any_data_have_no_note(self):
        cases = [
            ("missing_file", None),
            ("empty_file", ""),
            ("bad_count", "title x\n"),
            ("missing_parameter_names", "title 3\na\n"),
        ]
        for name, contents in cases:
            with self.subTest(name):
                path = (self.files.path(name) if contents is None
                        else self.files.write(contents, name))
                failure = panic_of(path, 12)
                self.assertFalse(hasattr(failure, "__notes__"), failure.__dict__)

    def test_other_width_hint(self):
        w15_rows = [["1.00000000E+00", "-2.50000000E-01"]]
        # (name, file contents, width the call uses, note after the path)
        cases = [
            ("w12_read_as_15", plot_text([["1.00000E+00", "2.50000E-01", "-3.0E+02"]]), 15,
             ", line 6, field 1 (bytes 0 to 15); the line is 36 bytes long, a multiple of 12: "
             "should n_digits be 12?"),
            ("w12_one_field_read_as_15", plot_text([["1.00000E+00"]]), 15,
             ", line 4, field 1 (bytes 0 to 15); the line is 12 bytes long, a multiple of 12: "
             "should n_digits be 12?"),
            ("w15_read_as_12", plot_text(w15_rows, width=15), 12,
             ", line 5, field 1 (bytes 0 to 12); the line is 30 bytes long, a multiple of 15: "
             "should n_digits be 15?"),
            # Only a failure at the first field of a line suggests a wrong width.
            ("w12_bad_second_field", plot_text([["1.0", "x", "3.0", "4.0", "5.0"]]), 12,
             ", line 8, field 2 (bytes 12 to 24)"),
            ("w12_bad_first_field", plot_text([["x", "2.0"]]), 12,
             ", line 5, field 1 (bytes 0 to 12)"),
            # Only the file's first data line shows the width it was written with.
            ("w15_line_in_a_later_block",
             "2\nA\nB\nh\n         1.0         2.0\nh\n" + "x" * 30 + "\n", 12,
             ", line 7, field 1 (bytes 0 to 12)"),
            # Other widths get no hint.
            ("w10_bad_first_field", plot_text([["x", "2.0", "3.0"]], width=10), 10,
             ", line 6, field 1 (bytes 0 to 10)"),
        ]
        for name, contents, width, where in cases:
            with self.subTest(name):
                path = self.files.write(contents, name)
                note = panic_of(path, width).__notes__
                self.assertEqual(note, ["in plot file " + repr(path) + where])

    @unittest.skipIf(sys.version_info < (3, 11), "tracebacks show notes from Python 3.11 on")
    def test_traceback_shows_the_note(self):
        path = self.files.write(plot_text([["1.0", "x"]]))
        code, _, err = run_child(f"""
            import korvane
            korvane.rust_read_tolvera({path!r}, 12)
            """)
        self.assertEqual(code, 1)
        self.assertTrue(err.decode().endswith(
            "pyo3_runtime.PanicException: Could not parse line: ParseFloatError "
            "{ kind: Invalid }\nin plot file " + repr(path) + ", line 5, field 2 (bytes 12 to 24)\n"),
            err)


class NoteFailureTest(unittest.TestCase):
    """The note is added to the exception being raised, or not at all."""

    def test_exception_taking_attributes_gets_the_note(self):
        raised = conversion_probe.noted(KeyboardInterrupt("x"), 3)
        self.assertIs(type(raised), KeyboardInterrupt)
        self.assertEqual(raised.__notes__, ["in plot file 'probe.plt', line 3"])

    def test_exception_refusing_the_note_is_raised_without_it(self):
        class Refusing(BaseException):
            def __setattr__(self, name, value):
                raise RuntimeError("no attributes")

        exception = Refusing("kept")
        self.assertIs(conversion_probe.noted(exception, 3), exception)
        self.assertFalse(hasattr(exception, "__notes__"))

    def test_no_line_no_note(self):
        raised = conversion_probe.noted(KeyboardInterrupt("x"), 0)
        self.assertFalse(hasattr(raised, "__notes__"))


if __name__ == "__main__":
    unittest.main()
