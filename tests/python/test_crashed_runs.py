"""A run that crashed mid-write: read_plot says its file ends inside the last block, wherever the
cut falls, while rust_read_tolvera keeps its own message."""

import random
import unittest

import korvane
from support import TempFiles, random_plot

# The layouts tried: parameters, field width, line terminator.
LAYOUTS = [(4, 12, "\n"), (12, 15, "\n"), (3, 12, "\r\n")]


def due_line(piece, width):
    """The number of the line the cut leaves incomplete, or of the line due after the cut."""
    lines = piece.split(b"\n")
    # A whole first data line of a two-line block, its line feed cut off, is a complete line.
    return len(lines) + (len(lines[-1].rstrip(b"\r")) >= 10 * width)


class CrashedRunTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)

    def test_every_cut_inside_the_last_block(self):
        rng = random.Random(7)
        for params, width, newline in LAYOUTS:
            data = random_plot(rng, params, 3, width).replace("\n", newline).encode()
            body = data.index(b"\n", data.rindex(b" TIME = 2")) + 1
            with self.assertRaises(korvane.PlotFormatError) as at_line_end:
                korvane.read_plot(self.files.write(data[:body], "line_end.plt"), width)
            self.assertIn("the file ends inside block 3", at_line_end.exception.msg)
            for cut in range(body, len(data)):
                piece = data[:cut]
                path = self.files.write(piece)
                for n_digits in (width, None):
                    with self.subTest(params=params, cut=cut, n_digits=n_digits):
                        if cut >= len(data) - len(newline):
                            # The last line lacks only its terminator: the file is complete.
                            self.assertEqual(korvane.read_plot(path, n_digits).blocks, 3)
                            continue
                        with self.assertRaises(korvane.PlotFormatError) as caught:
                            korvane.read_plot(path, n_digits)
                        error = caught.exception
                        self.assertEqual(error.msg, at_line_end.exception.msg)
                        self.assertEqual((error.lineno, error.field),
                                         (due_line(piece, width), None))
                with self.subTest(params=params, cut=cut, reader="follow"):
                    self.assertEqual(korvane.follow(path, width).read().blocks, 2)

    def test_rust_read_tolvera_keeps_its_message(self):
        data = random_plot(random.Random(3), 4, 2, 12).encode()
        path = self.files.write(data[:-20])
        with self.assertRaises(korvane.PanicException) as caught:
            korvane.rust_read_tolvera(path, 12)
        self.assertRegex(str(caught.exception), r"^byte index 36 is out of bounds of `")

    def test_a_cut_first_data_line_tells_no_width(self):
        # The only data line, cut: its width cannot be told, because the file ends inside it.
        data = random_plot(random.Random(4), 4, 1, 12).encode()
        with self.assertRaises(korvane.PlotFormatError) as caught:
            korvane.read_plot(self.files.write(data[:-12]))
        self.assertIn("the file ends inside block 1", caught.exception.msg)
        self.assertEqual((caught.exception.lineno, caught.exception.field), (7, None))
        # A first data line that ends with its line feed is not cut, whatever its length.
        with self.assertRaises(korvane.PlotFormatError) as caught:
            korvane.read_plot(self.files.write(data[:-12] + b"\n"))
        self.assertIn("cannot tell the field width", caught.exception.msg)


if __name__ == "__main__":
    unittest.main()
