"""The korvane command, run as `python -m korvane` in a child, against the library's own reads."""

import csv
import gzip
import importlib
import os
import pty
import random
import struct
import subprocess
import sys
import unittest

import korvane
from support import HANG, TempFiles, random_plot


# --blocks texts, and the blocks= of read_plot they stand for; show's default is the last 10.
SELECTIONS = {None: slice(-10, None), "-10:": slice(-10, None), "0:5": slice(0, 5),
              "1:20:3": slice(1, 20, 3), "0,-1": [0, -1]}


def importable(name):
    """Whether the module imports: Debian's numpy is found by PyPy, and fails there."""
    try:
        importlib.import_module(name)
    except ImportError:
        return False
    return True


def command(*words, env=None, stderr=subprocess.PIPE):
    """Runs the command; returns (status, stdout text, stderr text)."""
    child_env = dict(os.environ)
    child_env.pop("KORVANE_PROGRESS_DELAY", None)
    child_env.update(env or {})
    done = subprocess.run([sys.executable, "-m", "korvane", *map(str, words)],
                          stdout=subprocess.PIPE, stderr=stderr, env=child_env, timeout=HANG)
    return done.returncode, done.stdout.decode(), (done.stderr or b"").decode()


def bits(values):
    return [struct.pack("<f", value) for value in values]


def texts_bits(texts):
    return [struct.pack("<f", float(text)) for text in texts]


class ShellTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)
        self.rng = random.Random(26)

    def random_file(self, compressed=False):
        text = random_plot(self.rng, self.rng.randint(1, 14), self.rng.randint(1, 30),
                           self.rng.choice([12, 15])).encode()
        if compressed:
            return self.files.write(gzip.compress(text), "plot.gz")
        return self.files.write(text)

    def test_info_tells_what_the_library_reads(self):
        for compressed in (False, True):
            path = self.random_file(compressed)
            status, out, err = command("info", path)
            self.assertEqual((status, err), (0, ""))
            told = dict(line.split(": ", 1) for line in out.splitlines())
            full = korvane.read_plot(path, block_headers=True)
            self.assertEqual(told["title"], full.title)
            self.assertEqual(told["names"].split(" "), list(full.names))
            self.assertEqual(int(told["parameters"]), len(full.names))
            self.assertEqual(int(told["blocks"]), full.blocks)
            self.assertEqual(int(told["size"].split()[0]), os.path.getsize(path))
            self.assertEqual(told["compression"], "gzip" if compressed else "none")
            self.assertEqual((told["first block"], told["last block"]),
                             (full.block_headers[0], full.block_headers[-1]))

    def test_show_prints_the_values_read(self):
        for round in range(6):
            path = self.random_file(compressed=round % 2 == 1)
            full = korvane.read_plot(path)
            chosen = self.rng.sample(range(len(full.names)), self.rng.randint(1, len(full.names)))
            selection = self.rng.choice(list(SELECTIONS))
            words = ["show", path, "--columns", ",".join(map(str, chosen))]
            words += [] if selection is None else ["--blocks", selection]
            with self.subTest(round=round, blocks=selection):
                status, out, err = command(*words)
                self.assertEqual((status, err), (0, ""))
                rows = [line.split() for line in out.splitlines()]
                self.assertEqual(rows[0], ["block"] + [full.names[p] for p in chosen])
                numbers = [int(row[0]) for row in rows[1:]]
                expected = korvane.read_plot(path, columns=chosen, blocks=SELECTIONS[selection])
                for k, column in enumerate(expected.columns):
                    self.assertEqual(texts_bits(row[k + 1] for row in rows[1:]), bits(column))
                self.assertEqual(len(numbers), expected.blocks)

    def test_csv_round_trip_equals_read_plot(self):
        for compressed in (False, True):
            path = self.random_file(compressed)
            out = self.files.path("out.csv")
            status, _, err = command("convert", path, out)
            self.assertEqual((status, err), (0, ""))
            with open(out, newline="", encoding="utf-8") as file:
                rows = list(csv.reader(file))
            full = korvane.read_plot(path)
            self.assertEqual(rows[0], ["block"] + list(full.names))
            self.assertEqual([int(row[0]) for row in rows[1:]], list(range(full.blocks)))
            for k, column in enumerate(full.columns):
                self.assertEqual(texts_bits(row[k + 1] for row in rows[1:]), bits(column))

    @unittest.skipUnless(importable("numpy"), "numpy does not import")
    def test_npz_holds_the_columns(self):
        import numpy
        path = self.random_file()
        out = self.files.path("out.npz")
        self.assertEqual(command("convert", path, out, "--blocks", "2:")[0], 0)
        full = korvane.read_plot(path, blocks=slice(2, None))
        with numpy.load(out) as arrays:
            for name, column in zip(full.names, full.columns):
                self.assertEqual(arrays[name].tobytes(), column.tobytes())

    @unittest.skipUnless(importable("matplotlib"), "matplotlib does not import")
    def test_plot_draws_a_png(self):
        path = self.random_file(compressed=True)
        out = self.files.path("out.png")
        status, _, err = command("plot", path, "--columns", "0", "-o", out, "--time", "TIME")
        self.assertEqual((status, err), (0, ""))
        with open(out, "rb") as picture:
            self.assertEqual(picture.read(8), bytes.fromhex("89504e470d0a1a0a"))

    def test_failures_are_one_line_and_status_1(self):
        good = self.random_file()
        bad = self.files.write(" title 2\n a\n b\n TIME = 0\n  1.0000E+00  x.0000E+00\n", "bad")
        cases = [(["info", self.files.path("missing")], "No such file"),
                 (["show", good, "--columns", "NOPE"], "NOPE"),
                 (["show", good, "--blocks", "999"], "out of range"),
                 (["show", bad], "line 5, field 2"),
                 (["convert", good, self.files.path("out.xyz")], ".xyz"),
                 (["plot", good, "--columns", "0", "-o", self.files.path("p.png"), "--time",
                   "NOWHERE"], "NOWHERE")]
        for words, words_in_message in cases:
            with self.subTest(words=words[0:2]):
                status, out, err = command(*words)
                self.assertEqual(status, 1)
                self.assertEqual(len(err.splitlines()), 1, err)
                self.assertTrue(err.startswith("korvane: error: "), err)
                self.assertIn(words_in_message, err)

    def test_every_command_has_help(self):
        for name in ("info", "show", "convert", "plot"):
            status, out, _ = command(name, "--help")
            self.assertEqual(status, 0)
            self.assertTrue(out.startswith(f"usage: korvane {name}"), out)

    def test_progress_bar_only_on_a_terminal(self):
        path = self.random_file()
        quick = {"KORVANE_PROGRESS_DELAY": "0"}
        main, side = pty.openpty()
        try:
            status, _, _ = command("convert", path, self.files.path("o.csv"), env=quick,
                                   stderr=side)
            os.close(side)
            side = None
            shown = b""
            while True:
                try:
                    piece = os.read(main, 4096)
                except OSError:  # EIO: the child's end is closed and all of it read
                    break
                if not piece:
                    break
                shown += piece
        finally:
            os.close(main)
            if side is not None:
                os.close(side)
        self.assertEqual(status, 0)
        self.assertIn(b"100%", shown)
        self.assertIn(b"reading plot.txt [", shown)
        status, _, err = command("convert", path, self.files.path("o.csv"), env=quick)
        self.assertEqual((status, err), (0, ""))


if __name__ == "__main__":
    unittest.main()
