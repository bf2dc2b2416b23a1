"""threads=: a file read by several threads gives what one thread gives, values and failures."""

import glob
import gzip
import os
import pickle
import random
import unittest

import korvane
from support import TempFiles, random_plot, run_child, with_address_space_left
from test_open_plot import random_selection

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def outcome(read):
    """What a read gives: its Plot's parts, or its failure's type, text and place."""
    try:
        plot = read()
    except (ValueError, OSError, IndexError, KeyError) as failure:
        return (type(failure).__name__, str(failure), getattr(failure, "lineno", None),
                getattr(failure, "field", None))
    return ("Plot", plot.title, plot.names, plot.blocks, plot.block_headers,
            [column.tobytes() for column in plot.columns])


def planted(rng, text):
    """text with one fault planted at a random place: a field that is not a number, a byte that
    is not UTF-8, a line dropped or shortened, or the file cut short."""
    lines = text.split(b"\n")
    at = rng.randrange(len(lines))
    kind = rng.randrange(5)
    if kind == 0 and len(lines[at]) >= 12:
        start = rng.randrange(0, len(lines[at]) - 11, 12)
        lines[at] = lines[at][:start] + b"   not a num" + lines[at][start + 12:]
    elif kind == 1:
        lines[at] = lines[at][:rng.randint(0, len(lines[at]))] + b"\xff" + lines[at]
    elif kind == 2:
        del lines[at]
    elif kind == 3:
        lines[at] = lines[at][:rng.randint(0, len(lines[at]))]
    else:
        return text[:rng.randrange(len(text))]
    return b"\n".join(lines)


class SharedReadTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)

    def assert_same_for_every_count(self, path, **choices):
        """read_plot and PlotFile.read with 2 to 4 threads against one thread."""
        one = outcome(lambda: korvane.read_plot(path, threads=1, block_headers=True, **choices))
        for threads in (2, 3, 4):
            with self.subTest(threads=threads, **choices):
                self.assertEqual(outcome(lambda: korvane.read_plot(
                    path, threads=threads, block_headers=True, **choices)), one)
        return one

    def test_random_files_and_selections(self):
        rng = random.Random(2024)
        for round in range(40):
            params, count = rng.randint(1, 25), rng.randint(1, 40)
            path = self.files.write(random_plot(rng, params, count, rng.choice([12, 15])))
            with self.subTest(round=round):
                self.assertEqual(self.assert_same_for_every_count(path)[0], "Plot")
                chosen, _ = random_selection(rng, count)
                columns = rng.sample(range(params), rng.randint(0, params))
                self.assert_same_for_every_count(path, blocks=chosen, columns=columns)
                with korvane.open_plot(path) as plot_file:
                    one = outcome(lambda: plot_file.read(columns, chosen, True, threads=1))
                    four = outcome(lambda: plot_file.read(columns, chosen, True, threads=4))
                    self.assertEqual(four, one)

    def test_a_table_read_equals_pickles_and_converts_as_a_column_read(self):
        try:
            import numpy
        except ImportError:
            numpy = None
        rng = random.Random(11)
        for round in range(10):
            path = self.files.write(random_plot(rng, rng.randint(0, 12), rng.randint(0, 20)))
            with self.subTest(round=round):
                one = korvane.read_plot(path, threads=1)
                shared = korvane.read_plot(path, threads=3)
                self.assertEqual(shared, one)
                self.assertEqual(pickle.loads(pickle.dumps(shared)), one)
                if numpy is not None:
                    self.assertEqual(shared.to_numpy().tobytes(), one.to_numpy().tobytes())
                self.assertEqual([c.tobytes() for c in shared], [c.tobytes() for c in one])
                self.assertEqual(len(shared), len(one))

    def test_the_first_failure_in_file_order_whatever_the_threads(self):
        rng = random.Random(7)
        failures = 0
        for round in range(80):
            text = random_plot(rng, rng.randint(1, 25), rng.randint(2, 40)).encode()
            for _ in range(rng.randint(1, 3)):
                text = planted(rng, text)
            path = self.files.write(text)
            with self.subTest(round=round):
                failures += self.assert_same_for_every_count(path)[0] != "Plot"
                self.assert_same_for_every_count(path, blocks=slice(None, None, -1))
        # The planted faults must mostly fail, or the comparison proves little.
        self.assertGreater(failures, 40)

    def test_blocks_of_any_size_split_anywhere(self):
        # Headers from empty to longer than a thread's part of the file, files cut inside a block
        # or at its end, with and without the last line feed, and more threads than blocks.
        rng = random.Random(31)
        for round in range(60):
            params = rng.randint(1, 12)
            text = random_plot(rng, params, rng.randint(0, 12))
            lines = text.split("\n")
            per_block = 1 + (params + 9) // 10
            for at in range(params + 1, len(lines) - 1, per_block):
                lines[at] = " T" * rng.choice([0, 1, 3, rng.randint(100, 3000)])
            text = "\n".join(lines)
            if rng.random() < 0.3:
                text = text[:rng.randint(len(text) // 2, len(text))]
            if rng.random() < 0.3:
                text = text.rstrip("\n")
            path = self.files.write(text)
            with self.subTest(round=round):
                one = outcome(lambda: korvane.read_plot(path, 12, threads=1, block_headers=True))
                for threads in (2, 3, 5, 8):
                    self.assertEqual(outcome(lambda: korvane.read_plot(
                        path, 12, threads=threads, block_headers=True)), one)

    def test_samples_and_fuzz_seeds(self):
        paths = glob.glob(os.path.join(ROOT, "samples", "*")) + glob.glob(
            os.path.join(ROOT, "fuzz", "corpus", "reader", "*"))
        self.assertTrue(paths)
        for path in paths:
            with self.subTest(path=os.path.basename(path)):
                self.assert_same_for_every_count(path)
                for width in (12, 15):
                    one = outcome(lambda: korvane.read_plot(path, width, threads=1))
                    self.assertEqual(outcome(lambda: korvane.read_plot(path, width, threads=3)),
                                     one)

    def test_a_compressed_file_reads_as_its_text_whatever_the_threads(self):
        rng = random.Random(13)
        text = random_plot(rng, 12, 30).encode()
        plain = self.files.write(text)
        packed = self.files.write(gzip.compress(text), "plot.gz")
        one = outcome(lambda: korvane.read_plot(plain, threads=1, block_headers=True))
        for threads in (None, 1, 3):
            with self.subTest(threads=threads):
                self.assertEqual(outcome(lambda: korvane.read_plot(
                    packed, threads=threads, block_headers=True)), one)
                with korvane.open_plot(packed) as plot_file:
                    self.assertEqual(outcome(lambda: plot_file.read(
                        blocks=slice(None, None, 2), threads=threads)),
                        outcome(lambda: korvane.read_plot(plain, blocks=slice(None, None, 2))))

    def test_threads_must_be_a_positive_count(self):
        path = self.files.write(random_plot(random.Random(3), 2, 3))
        for threads, error in ((0, ValueError), (-1, ValueError), (True, TypeError),
                               (1.0, TypeError), ("2", TypeError)):
            with self.subTest(threads=threads):
                with self.assertRaises(error):
                    korvane.read_plot(path, threads=threads)
                with korvane.open_plot(path) as plot_file, self.assertRaises(error):
                    plot_file.read(threads=threads)

    @unittest.skipIf(os.environ.get("KORVANE_SANITIZED"), "the sanitizers reserve the address space")
    def test_memory_refused_on_another_thread_is_a_memory_error(self):
        # The last block's header, 64 MiB, is kept by the second of two threads, and cannot be
        # held in the address space left.
        rng = random.Random(5)
        text = random_plot(rng, 3, 6)
        cut = text.rindex(" TIME")
        path = self.files.write(text[:cut] + " T" + "a" * (64 << 20) + text[cut + 5:])
        code, out, err = run_child(with_address_space_left(96 << 20, f"""
            try:
                korvane.read_plot({path!r}, 12, threads=2, block_headers=True)
            except MemoryError:
                print("MemoryError")
            print(korvane.read_plot({path!r}, 12, threads=2, columns=[0]).blocks)
            """))
        self.assertEqual((code, out, err), (0, b"MemoryError\n6\n", b""))


if __name__ == "__main__":
    unittest.main()
