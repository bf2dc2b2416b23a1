"""open_plot and blocks=: any blocks of a plot file, against slicing a read of the whole file."""

import os
import random
import unittest

import korvane
from support import TempFiles, random_plot


def sliced(plot, numbers, choices):
    """The chosen columns' bytes, block headers and block count of plot at the block numbers."""
    positions = [plot.names.index(name) for name in choices]
    columns = [b"".join(plot.columns[p][n:n + 1].tobytes() for n in numbers) for p in positions]
    return columns, [plot.block_headers[n] for n in numbers], len(numbers)


def parts(plot):
    return [column.tobytes() for column in plot.columns], plot.block_headers, plot.blocks


def random_selection(rng, count):
    """A selection of blocks and the block numbers it stands for."""
    kind = rng.randrange(4)
    bound = lambda: rng.choice([None, rng.randint(-count - 3, count + 3)])
    if kind == 0:
        chosen = slice(bound(), bound(), rng.choice([None, 1, 2, 3, -1, -2, 7]))
        return chosen, list(range(count))[chosen]
    if kind == 1:
        start, stop = sorted(rng.randint(0, count) for _ in range(2))
        chosen = range(start, stop, rng.choice([1, 2, 5]))
        return chosen, list(chosen)
    if kind == 2:
        chosen = [rng.randrange(-count, count) for _ in range(rng.randint(0, 8))]
        return chosen, [n % count for n in chosen]
    number = rng.randrange(-count, count)
    return number, [number % count]


class BlocksTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)

    def test_selection_is_the_slice_of_the_full_read(self):
        rng = random.Random(24)
        for round in range(60):
            params, count = rng.randint(1, 23), rng.randint(1, 30)
            width = rng.choice([12, 15])
            path = self.files.write(random_plot(rng, params, count, width))
            full = korvane.read_plot(path, block_headers=True)
            names = list(full.names)
            choices = rng.sample(names, rng.randint(1, params))
            with korvane.open_plot(path) as plot_file:
                self.assertEqual((plot_file.blocks, plot_file.width), (count, width))
                self.assertEqual(plot_file.names, full.names)
                self.assertEqual(plot_file.title, full.title)
                for _ in range(5):
                    chosen, numbers = random_selection(rng, count)
                    with self.subTest(round=round, blocks=chosen):
                        expected = sliced(full, numbers, choices)
                        read = plot_file.read(choices, blocks=chosen, block_headers=True)
                        self.assertEqual(parts(read), expected)
                        once = korvane.read_plot(path, columns=choices, blocks=chosen,
                                                 block_headers=True)
                        self.assertEqual(parts(once), expected)

    def test_out_of_range_raises_index_error(self):
        path = self.files.write(random_plot(random.Random(1), 3, 4))
        with korvane.open_plot(path) as plot_file:
            for chosen in (4, -5, [0, 4], range(2, 6)):
                with self.subTest(blocks=chosen), self.assertRaises(IndexError):
                    plot_file.read(blocks=chosen)
        with self.assertRaises(IndexError):
            korvane.read_plot(path, blocks=[7])

    def test_a_file_grown_after_open_is_read_to_its_new_end(self):
        rng = random.Random(5)
        text = random_plot(rng, 14, 20)
        whole = korvane.read_plot(self.files.write(text, "whole.txt"))
        cut = rng.randrange(len(text) // 3, len(text) - 1)
        path = self.files.write(text[:cut])
        with korvane.open_plot(path) as plot_file:
            before = plot_file.blocks
            self.assertLess(before, 20)
            with open(path, "a") as out:
                out.write(text[cut:])
            self.assertEqual(plot_file.blocks, 20)
            self.assertEqual(parts(plot_file.read(blocks=slice(before, None)))[0],
                             [c[before:].tobytes() for c in whole.columns])

    def test_a_file_shrunk_or_replaced_raises_follow_error(self):
        text = random_plot(random.Random(3), 4, 6)
        for change in ("shrink", "replace"):
            path = self.files.write(text, change)
            with self.subTest(change=change), korvane.open_plot(path) as plot_file:
                if change == "shrink":
                    os.truncate(path, len(text) // 2)
                else:
                    os.replace(self.files.write(text, change + ".new"), path)
                with self.assertRaises(korvane.FollowError):
                    plot_file.read()

    def test_a_closed_file_raises_value_error(self):
        plot_file = korvane.open_plot(self.files.write(random_plot(random.Random(2), 2, 2)))
        plot_file.close()
        self.assertTrue(plot_file.closed)
        for use in (plot_file.read, lambda: plot_file.blocks):
            with self.assertRaises(ValueError):
                use()


if __name__ == "__main__":
    unittest.main()
