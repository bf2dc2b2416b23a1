"""read_plot: float32 columns with names, a choice of columns, and failures as Python raises them."""

import array
import os
import pathlib
import pickle
import random
import re
import struct
import sys
import unittest
from concurrent.futures import ProcessPoolExecutor

import korvane
from support import HANG, TempFiles, plot_text, random_plot, run_child, with_address_space_left

ROOT = pathlib.Path(__file__).resolve().parents[2]


def float_bits(values):
    """The values as 32-bit patterns, so that NaNs and signed zeros compare exactly."""
    return list(array.array("I", array.array("f", values).tobytes()))


def fuzz_seeds():
    """(name, width, file bytes) of each reader seed: byte 0 picks the width, byte 1 the reads."""
    for path in sorted((ROOT / "fuzz" / "corpus" / "reader").iterdir()):
        data = path.read_bytes()
        if len(data) < 2:
            continue
        width = 12 if data[0] < 80 else 15 if data[0] < 160 else (data[0] - 160) % 41
        yield path.name, width, data[2:]


class SameValuesTest(unittest.TestCase):
    """read_plot gives what rust_read_tolvera gives, bit for bit, on every file both read."""

    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)

    def assert_same(self, path, width):
        """Compares the two reads of the file; the Plot read, or None when both fail."""
        try:
            expected = korvane.rust_read_tolvera(path, width)
        except korvane.PanicException:
            with self.assertRaises((ValueError, OSError)):
                korvane.read_plot(path, width)
            return None
        plot = korvane.read_plot(path, width)
        self.assertEqual(len(plot.columns), len(expected))
        self.assertEqual(len(plot.names), len(expected))
        for column, values in zip(plot.columns, expected):
            self.assertEqual(column.typecode, "f")
            self.assertEqual(len(column), plot.blocks)
            self.assertEqual(float_bits(column), float_bits(values))
        return plot

    def test_samples_and_fuzz_seeds(self):
        cases = [(str(ROOT / "samples" / "plot_w12.txt"), 12),
                 (str(ROOT / "samples" / "plot_w15.txt"), 15)]
        # read_plot takes no width 0: such seeds are for the other reader.
        cases += [(self.files.write(data, name), width) for name, width, data in fuzz_seeds()
                  if width]
        for path, width in cases:
            with self.subTest(file=os.path.basename(path), width=width):
                plot = self.assert_same(path, width)
                # Every file of these that reads has its width told by its first data line.
                if plot is not None:
                    self.assertEqual(korvane.read_plot(path), plot)

    def test_random_choices_take_the_chosen_columns(self):
        rng = random.Random(7)
        for round_number in range(20):
            params = rng.randint(1, 35)
            width = rng.choice([12, 15])
            path = self.files.write(random_plot(rng, params, rng.randint(0, 40), width))
            full = korvane.read_plot(path, width, block_headers=True)
            positions = rng.sample(range(params), rng.randint(0, params))
            choices = [f"P{p}" if rng.random() < 0.5 else p - params * rng.randint(0, 1)
                       for p in positions]
            with self.subTest(round=round_number, choices=choices):
                chosen = korvane.read_plot(path, None if rng.random() < 0.5 else width,
                                           columns=iter(choices))
                self.assertEqual(chosen.names, tuple(full.names[p] for p in positions))
                self.assertEqual([c.tobytes() for c in chosen.columns],
                                 [full.columns[p].tobytes() for p in positions])
                self.assertEqual((chosen.blocks, chosen.title, chosen.block_headers),
                                 (full.blocks, full.title, None))
                self.assertEqual(len(full.block_headers), full.blocks)


    def test_fields_not_chosen_are_cut_but_not_converted(self):
        rows = [["1.00000E+00"] * 23, ["2.00000E+00"] * 11 + ["x"] + ["3.0"] * 11]
        path = self.files.write(plot_text(rows))
        with self.assertRaises(korvane.PlotFormatError) as full:
            korvane.read_plot(path, 12)
        for choice in ([11], [21, 11], [11, 22]):
            with self.subTest(choice=choice):
                with self.assertRaises(korvane.PlotFormatError) as chosen:
                    korvane.read_plot(path, 12, columns=choice)
                self.assertEqual(chosen.exception.args, full.exception.args)
        self.assertEqual(list(korvane.read_plot(path, 12, columns=[10, 22])[1]), [1.0, 3.0])
        # A field that lies outside its line fails whether it is chosen or not.
        short = self.files.write(plot_text([["1.0"] * 3]).replace("1.0\n", "\n"), "short.plt")
        with self.assertRaisesRegex(korvane.PlotFormatError, "beyond the end of the line"):
            korvane.read_plot(short, 12, columns=[0])


class PlotTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)
        text = plot_text([["1.0", "2.0", "-0.0"], ["nan", "5.0", "6.0"]], names=["a", "b", "a"])
        self.path = self.files.write(text.replace(" TOLVERA test file", "  My run  "))
        self.plot = korvane.read_plot(pathlib.Path(self.path), 12, block_headers=True)

    def test_attributes_and_access(self):
        plot = self.plot
        self.assertEqual((plot.title, plot.names, plot.blocks), ("My run", ("a", "b", "a"), 2))
        self.assertEqual(plot.block_headers, ["TIME = 0", "TIME = 1"])
        self.assertEqual(len(plot), 3)
        self.assertEqual(list(plot), plot.columns)
        self.assertIs(plot[1], plot.columns[1])
        self.assertIs(plot["b"], plot.columns[1])
        self.assertEqual(list(plot[-1]), [-0.0, 6.0])
        for name, words in [("c", "no parameter named 'c'"),
                            ("a", "parameter name 'a' is not unique: positions 0 and 2")]:
            with self.subTest(name=name):
                with self.assertRaisesRegex(KeyError, re.escape(words)):
                    plot[name]
        self.assertEqual(repr(plot), f"<korvane.Plot {self.path!r}: 3 parameters, 2 blocks>")

    def test_pickles_compactly_and_equal(self):
        for protocol in range(2, pickle.HIGHEST_PROTOCOL + 1):
            with self.subTest(protocol=protocol):
                restored = pickle.loads(pickle.dumps(self.plot, protocol))
                self.assertEqual(restored, self.plot)
                self.assertEqual([c.tobytes() for c in restored], [c.tobytes() for c in self.plot])
        many = korvane.read_plot(self.files.write(random_plot(random.Random(1), 20, 500), "m"))
        values = many.blocks * len(many.names)
        self.assertLess(len(pickle.dumps(many, pickle.HIGHEST_PROTOCOL)), 4 * values + 2000)

    def test_to_numpy(self):
        try:
            import numpy
        except ImportError:
            with self.assertRaisesRegex(ImportError, "needs NumPy"):
                self.plot.to_numpy()
            return
        table = self.plot.to_numpy()
        self.assertEqual((table.dtype, table.shape), (numpy.float32, (3, 2)))
        self.assertEqual(table.tobytes(), b"".join(c.tobytes() for c in self.plot.columns))
        self.assertEqual(numpy.asarray(self.plot.columns[1]).dtype, numpy.float32)


class ArgumentsTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)
        self.path = self.files.write(plot_text([["1.0", "2.0"]]))

    def test_refused_arguments(self):
        cases = [
            ((7,), {}, TypeError, "int"),
            ((self.path, 1.5), {}, TypeError, "float"),
            ((self.path, 0), {}, ValueError, "n_digits must be at least 1, not 0"),
            ((self.path, 2**32), {}, ValueError, "n_digits must be at most"),
            ((self.path,), {"columns": "P0"}, TypeError, "not one str"),
            ((self.path,), {"columns": [1.0]}, TypeError, "not float"),
            ((self.path,), {"columns": 3}, TypeError, "int"),
            ((self.path,), {"columns": ["P2"]}, KeyError, "no parameter named 'P2'"),
            ((self.path,), {"columns": [2]}, IndexError, "position 2 is out of range"),
            ((self.path,), {"columns": [-3]}, IndexError, "position -3 is out of range"),
            ((self.path,), {"columns": [1, "P1"]}, ValueError, "'P1' (position 1) is chosen twice"),
            ((self.path + "\0",), {}, ValueError, "embedded null byte"),
        ]
        for args, keywords, error, words in cases:
            with self.subTest(args=args, keywords=keywords):
                with self.assertRaisesRegex(error, re.escape(words)):
                    korvane.read_plot(*args, **keywords)

    def test_version_is_the_projects(self):
        project = (ROOT / "pyproject.toml").read_text()
        self.assertEqual(korvane.__version__,
                         re.search(r'^version = "([^"]+)"', project, re.M).group(1))


# A file of two parameters in the layout of width 12, for the failures below.
GOOD_BLOCK = " TIME = 1\n" + "1.00000E+00".rjust(12) + "2.00000E+00".rjust(12) + "\n"
HEAD = " title 2\n a\n b\n"


class FailuresTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)

    def test_malformed_content(self):
        cases = [
            # contents, width, lineno, field, words
            (b"", 12, None, None, "the file is empty"),
            (b"\x1f\x8b\x08\x00\x00\x00\n", 12, 1, None, "compressed"),
            (b" title x\n", 12, 1, None, "does not end with the number of parameters"),
            (b" title 3\n a\n", 12, 3, None, "ends before the last parameter name"),
            ((HEAD + GOOD_BLOCK + " TIME = 2\n").encode(), 12, 7, None,
             "ends inside block 2, whose data lines are incomplete; the last complete block is 1"),
            ((HEAD + GOOD_BLOCK + " T\n" + "1.0".rjust(12) + "\n").encode(), 12, 7, 2,
             "field 2 (bytes 12 to 24) lies beyond the end of the line, which is 12 bytes long"),
            ((HEAD + GOOD_BLOCK + " T\n" + "1.0".rjust(12) + "1.0x".rjust(12) + "\n").encode(),
             12, 7, 2, "field 2 (bytes 12 to 24) is not a number"),
            ((HEAD + GOOD_BLOCK + " T\n" + "1.0".rjust(12) + " " * 12 + "\n").encode(),
             12, 7, 2, "is blank"),
            ((HEAD + GOOD_BLOCK).encode(), 15, 5, 1,
             "should n_digits be 12?"),
            ((HEAD + " T\n" + "1" * 25 + "\n").encode(), None, 5, None,
             "cannot tell the field width: the first data line is 25 bytes long"),
            ((HEAD + GOOD_BLOCK).encode() + b"\xff\n", 12, 6, None, "not valid UTF-8"),
        ]
        for contents, width, lineno, field, words in cases:
            path = self.files.write(contents)
            with self.subTest(words=words):
                with self.assertRaises(korvane.PlotFormatError) as caught:
                    korvane.read_plot(path, width)
                error = caught.exception
                self.assertIsInstance(error, ValueError)
                self.assertEqual((error.filename, error.lineno, error.field),
                                 (path, lineno, field))
                self.assertIn(words, error.msg)
                self.assertTrue(str(error).startswith(error.msg), str(error))
                self.assertIn(repr(path), str(error))
                copy = pickle.loads(pickle.dumps(error))
                self.assertEqual((type(copy), copy.args, copy.lineno, copy.field),
                                 (type(error), error.args, error.lineno, error.field))

    def test_os_errors_are_those_of_open(self):
        directory = os.path.dirname(self.files.write("x"))
        for path in [os.path.join(directory, "missing.plt"), directory]:
            with self.subTest(path=path):
                with self.assertRaises(OSError) as caught:
                    korvane.read_plot(path)
                with self.assertRaises(OSError) as opened:
                    with open(path, "rb") as stream:
                        stream.read()
                self.assertIs(type(caught.exception), type(opened.exception))
                self.assertEqual((caught.exception.errno, caught.exception.filename),
                                 (opened.exception.errno, path))

    def test_failures_write_nothing_and_travel_to_process_pools(self):
        path = self.files.write(HEAD + GOOD_BLOCK + " T\n" + "x".rjust(24) + "\n")
        code, out, err = run_child(f"""
            import korvane
            for args in [({path!r}, 12), ({path + "missing"!r},),
                         ({self.files.write(" t x", "count.plt")!r},)]:
                try:
                    korvane.read_plot(*args)
                except (ValueError, OSError) as error:
                    pass
            """, env={"RUST_BACKTRACE": "1"})
        self.assertEqual((code, out, err), (0, b"", b""))
        with ProcessPoolExecutor(max_workers=1) as pool:
            with self.assertRaises(korvane.PlotFormatError) as caught:
                pool.submit(korvane.read_plot, path, 12).result(timeout=HANG)
        self.assertEqual((caught.exception.lineno, caught.exception.field), (7, 1))

    @unittest.skipIf(os.environ.get("KORVANE_SANITIZED"), "the sanitizers reserve the address space")
    def test_refused_memory_is_a_memory_error_and_the_process_goes_on(self):
        # A name of 64 MiB, gathered across reads, cannot be held in the address space left.
        path = self.files.write(" title 1\n" + "a" * (64 << 20) + "\n T\n" + "1" * 12 + "\n")
        code, out, err = run_child(with_address_space_left(32 << 20, f"""
            try:
                korvane.read_plot({path!r}, 12)
            except MemoryError:
                print("MemoryError")
            print(korvane.read_plot({self.files.write(HEAD + GOOD_BLOCK, "small")!r}).blocks)
            """))
        self.assertEqual((code, out, err), (0, b"MemoryError\n1\n", b""))


if __name__ == "__main__":
    unittest.main()
