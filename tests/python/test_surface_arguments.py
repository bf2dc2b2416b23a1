"""What read_plot, follow and Plot take: paths as open() takes them, and fields that fit."""

import os
import pathlib
import pickle
import unittest
from array import array

import korvane
from support import TempFiles, plot_text

TEXT = plot_text([["1.0", "2.0"], ["3.0", "4.0"]])
# A name that is not UTF-8, as a file written by a program in another encoding has.
LATIN_NAME = b"caf\xe9.plt"


class BytesPath(os.PathLike):
    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


def follow_once(path):
    with korvane.follow(path) as run:
        return run.read()


class PathTest(unittest.TestCase):
    """Every path open() takes names the file; errors keep it as given and show it decoded."""

    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)
        self.good = self.files.write(TEXT)
        self.directory = os.fsencode(os.path.dirname(self.good))
        with open(os.path.join(self.directory, LATIN_NAME), "wb") as out:
            out.write(TEXT.encode())
        self.listed = os.fsdecode(os.path.join(self.directory, LATIN_NAME))

    def forms(self, path):
        return [path, os.fsencode(path), pathlib.Path(path), BytesPath(os.fsencode(path))]

    def test_every_form_reads_the_file(self):
        for read in (korvane.read_plot, follow_once):
            expected = [column.tobytes() for column in read(self.good)]
            for path in self.forms(self.listed):
                with self.subTest(read=read.__name__, path=path):
                    plot = read(path)
                    self.assertEqual([column.tobytes() for column in plot], expected)
                    self.assertEqual(plot.file_path, os.fspath(path))

    def test_errors_keep_the_path_given(self):
        bad = os.path.join(self.directory, b"bad\xe9.plt")
        with open(bad, "wb") as out:
            out.write(b" t 1\n a\n h\n short\n")
        os.mkdir(os.path.join(self.directory, b"dir\xe9"))
        cases = [(self.listed + "x", korvane.read_plot, FileNotFoundError),
                 (self.listed + "x", follow_once, FileNotFoundError),
                 (os.fsdecode(bad), lambda path: korvane.read_plot(path, 12),
                  korvane.PlotFormatError),
                 (os.fsdecode(os.path.join(self.directory, b"dir\xe9")), korvane.follow,
                  korvane.FollowError)]
        for path, read, error in cases:
            for given in self.forms(path):
                with self.subTest(path=given, error=error.__name__):
                    with self.assertRaises(error) as caught:
                        read(given)
                    self.assertEqual(caught.exception.filename, os.fspath(given))
                    if error is not FileNotFoundError:
                        self.assertIn(repr(path), str(caught.exception))

    def test_rust_read_tolvera_still_takes_str_only(self):
        with self.assertRaises(TypeError):
            korvane.rust_read_tolvera(os.fsencode(self.good), 12)


class RefusedArgumentsTest(unittest.TestCase):
    """A bool is no width or position; a position no file can have is an IndexError."""

    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)
        self.path = self.files.write(TEXT)

    def test_refused(self):
        cases = [({"n_digits": True}, TypeError, "bool"),
                 ({"n_digits": False}, TypeError, "bool"),
                 ({"columns": [True]}, TypeError, "bool"),
                 ({"columns": [0, False]}, TypeError, "bool"),
                 ({"columns": [2**32]}, IndexError, "position 4294967296 is out of range"),
                 ({"columns": [2**63]}, IndexError, "out of range"),
                 ({"columns": [-2**63 - 1]}, IndexError, "out of range"),
                 ({"columns": [2**200]}, IndexError, "out of range")]
        for read in (korvane.read_plot, korvane.follow):
            for keywords, error, words in cases:
                with self.subTest(read=read.__name__, keywords=keywords):
                    with self.assertRaisesRegex(error, words):
                        read(self.path, **keywords)


class ReducedTo:
    """Pickles as a call of Plot with these arguments, as a tampered or foreign pickle would."""

    def __init__(self, *arguments):
        self.arguments = arguments

    def __reduce__(self):
        return korvane.Plot, self.arguments


class PlotFieldsTest(unittest.TestCase):
    def test_fields_that_do_not_fit_are_refused(self):
        one = array("f", [7])
        cases = [
            (("p", "t", ["a"], [one], 3), ValueError, "column 0 holds 1 values for 3 blocks"),
            (("p", "t", ["a"], [array("f")], 1), ValueError, "holds 0 values for 1 blocks"),
            (("p", "t", [], [one], 1), ValueError, "0 names for 1 columns"),
            (("p", "t", ["a", "b"], [one], 1), ValueError, "2 names for 1 columns"),
            (("p", "t", ["a"], [[7.0]], 1), TypeError, "column 0 must be an array('f'), not list"),
            (("p", "t", ["a"], [array("d", [7])], 1), TypeError, "not array('d')"),
            (("p", "t", ["a"], [array("i", [7])], 1), TypeError, "not array('i')"),
            (("p", "t", [1], [one], 1), TypeError, "names must be str, not int"),
            (("p", None, ["a"], [one], 1), TypeError, "title must be a str"),
            ((None, "t", ["a"], [one], 1), TypeError, "file_path must be a str or bytes"),
            (("p", "t", ["a"], [one], -1), ValueError, "blocks must be at least 0"),
            (("p", "t", ["a"], [one], True), TypeError, "bool"),
            (("p", "t", ["a"], [one], 1.0), TypeError, "float"),
            (("p", "t", ["a"], [one], 1, ["h", "i"]), ValueError, "2 block headers for 1"),
            (("p", "t", ["a"], [one], 1, ("h",)), TypeError, "list of str, not tuple"),
            (("p", "t", ["a"], [one], 1, [b"h"]), TypeError, "block_headers must be str"),
        ]
        for arguments, error, words in cases:
            for make in (lambda: korvane.Plot(*arguments),
                         lambda: pickle.loads(pickle.dumps(ReducedTo(*arguments)))):
                with self.subTest(arguments=arguments):
                    with self.assertRaises(error) as caught:
                        make()
                    self.assertIn(words, str(caught.exception))

    def test_fitting_fields_make_the_plot(self):
        plot = korvane.Plot(b"p", "t", ["a", "b"], [array("f", [1, 2]), array("f", [3, 4])], 2,
                            ["h0", "h1"])
        self.assertEqual(pickle.loads(pickle.dumps(plot)), plot)
        self.assertEqual(korvane.Plot("p", "t", [], [], 0).blocks, 0)


if __name__ == "__main__":
    unittest.main()
