"""follow: the blocks a growing plot file gains, read as pieces are appended to it."""

import os
import random
import unittest

import korvane
from support import TempFiles, plot_text, random_plot


def joined(plots):
    """The plots' blocks one after another: names, bytes of each column, headers and counts."""
    names = {plot.names for plot in plots if plot.names}
    columns = [b"".join(plot.columns[i].tobytes() for plot in plots if plot.blocks)
               for i in range(len(next(iter(names), ())))]
    headers = [header for plot in plots for header in (plot.block_headers or [])]
    return names, columns, headers, sum(plot.blocks for plot in plots)


class GrowingFileTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)

    def follow_pieces(self, text, seed, n_digits, columns):
        """The plots a follower reads while the file grows by pieces of random size, cutting
        lines and blocks anywhere, and the finished file. The test itself appends each piece and
        then reads none, one or two times, so the order of writes and reads is the same on every
        machine. After each read, the follower has read as many blocks as a new follower finds
        in a copy of the file so far."""
        data = text.encode()
        target = self.files.write(b"", f"growing{seed}.plt")
        rng = random.Random(seed)
        plots = []
        with open(target, "ab", buffering=0) as out, \
                korvane.follow(target, n_digits, columns=columns, block_headers=True) as run:
            written = 0
            while written < len(data):
                piece = data[written:written + rng.choice([1, 2, 7, 60, 300, 4000])]
                out.write(piece)
                written += len(piece)
                for _ in range(rng.choice([0, 1, 1, 2]) if written < len(data) else 1):
                    plots.append(run.read())
                    self.assertEqual(run.blocks, self.blocks_so_far(data[:written], n_digits))
            self.assertEqual(run.blocks, sum(plot.blocks for plot in plots))
        return plots, target

    def blocks_so_far(self, data, n_digits):
        """The complete blocks a new follower reads from a copy of data."""
        with korvane.follow(self.files.write(data, "so_far.plt"), n_digits) as run:
            return run.read().blocks

    def test_reads_joined_are_the_finished_file(self):
        rng = random.Random(3)
        cases = [
            ("width 12, told", random_plot(rng, 23, 300), None, None),
            ("width 15, given, chosen", random_plot(rng, 14, 300, 15), 15, ["P13", 0, "P5"]),
            ("CRLF, told", random_plot(rng, 10, 300).replace("\n", "\r\n"), None, [9, 1]),
            ("fewer fields than a line", random_plot(rng, 3, 500), 12, None),
        ]
        for seed, (name, text, n_digits, columns) in enumerate(cases):
            with self.subTest(case=name):
                plots, target = self.follow_pieces(text, seed, n_digits, columns)
                whole = korvane.read_plot(target, n_digits, columns=columns, block_headers=True)
                self.assertEqual(joined(plots), ({whole.names}, [c.tobytes() for c in whole],
                                                 whole.block_headers, whole.blocks))
                self.assertTrue(all(plot.title == whole.title for plot in plots if plot.names))
                self.assertGreaterEqual(len([plot for plot in plots if plot.blocks]), 10)

    def test_a_crashed_run_reads_its_complete_blocks(self):
        text = plot_text([["1.0", "2.0"], ["3.0", "4.0"]]) + " TIME = 2\n"
        path = self.files.write(text)
        with self.assertRaisesRegex(korvane.PlotFormatError, "korvane.follow reads"):
            korvane.read_plot(path)
        for ending in ["", "5.0".rjust(12), "5.0".rjust(24) + "\r"]:
            with self.subTest(ending=ending):
                with korvane.follow(self.files.write(text + ending, "crashed.plt")) as run:
                    plot = run.read()
                self.assertEqual((plot.blocks, list(plot[1])), (2, [2.0, 4.0]))


class FollowFailuresTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)
        self.path = self.files.write(plot_text([["1.0", "2.0"]] * 3))

    def test_a_changed_file_ends_the_following(self):
        def shrink(path):
            os.truncate(path, 20)

        def replace(path):
            os.replace(self.files.write(plot_text([["1.0", "2.0"]] * 9), "new.plt"), path)

        def remove(path):
            os.remove(path)

        for change, words in [(shrink, "shrank to 20 bytes"), (replace, "no longer at its path"),
                              (remove, "no longer at its path")]:
            with self.subTest(change=change.__name__):
                path = self.files.write(plot_text([["1.0", "2.0"]] * 3), "changed.plt")
                run = korvane.follow(path)
                self.assertEqual(run.read().blocks, 3)
                change(path)
                with self.assertRaisesRegex(korvane.FollowError, words) as caught:
                    run.read()
                self.assertEqual(caught.exception.filename, path)
                self.assertTrue(run.closed)
                with self.assertRaisesRegex(ValueError, "closed follower"):
                    run.read()

    def test_a_malformed_line_raises_and_closes(self):
        run = korvane.follow(self.path)
        run.read()
        with open(self.path, "a") as out:
            out.write(" TIME = 4\n" + "1.0".rjust(12) + "x".rjust(12) + "\n")
        with self.assertRaises(korvane.PlotFormatError) as caught:
            run.read()
        with self.assertRaises(korvane.PlotFormatError) as whole:
            korvane.read_plot(self.path)
        self.assertEqual(caught.exception.args, whole.exception.args)
        self.assertEqual((caught.exception.lineno, caught.exception.field), (11, 2))
        self.assertTrue(run.closed)

    def test_what_cannot_be_followed(self):
        fifo = self.files.path("plot.fifo")
        os.mkfifo(fifo)
        for path in [fifo, os.path.dirname(self.path)]:
            with self.subTest(path=path):
                with self.assertRaisesRegex(korvane.FollowError, "not a regular file"):
                    korvane.follow(path)
        with self.assertRaises(FileNotFoundError):
            korvane.follow(self.files.path("missing.plt"))
        with self.assertRaisesRegex(ValueError, "embedded null byte"):
            korvane.follow(os.path.dirname(self.path) + "\0plot.plt")


if __name__ == "__main__":
    unittest.main()
