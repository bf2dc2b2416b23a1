"""gzip and zstd plot files: read through the decompressor, against the plain file's read."""

import gzip
import random
import shutil
import subprocess
import unittest

import korvane
from support import TempFiles, random_plot

HAS_ZSTD = shutil.which("zstd") is not None


def zstd_compress(data, level):
    return subprocess.run(["zstd", "-q", "-c", f"-{level}"], input=data, capture_output=True,
                          check=True).stdout


def in_pieces(rng, data, compress):
    """data compressed piece by piece at random cuts, the pieces' outputs one after another: a
    file of several gzip members or zstd frames."""
    cuts = sorted(rng.sample(range(1, len(data)), min(len(data) - 1, rng.randint(1, 4))))
    bounds = [0] + cuts + [len(data)]
    return b"".join(compress(data[a:b]) for a, b in zip(bounds, bounds[1:]))


def packings(rng):
    """(name, compress) pairs: each packing at a random level, whole and in pieces."""
    level = rng.randint(1, 9)
    found = [("gzip", lambda data: gzip.compress(data, level))]
    if HAS_ZSTD:
        found.append(("zstd", lambda data: zstd_compress(data, rng.choice([1, 3, 19]))))
    return [(name + kind, compress if kind == "" else
             (lambda c: lambda data: in_pieces(rng, data, c))(compress))
            for name, compress in found for kind in ("", " pieces")]


def parts(plot):
    return ([column.tobytes() for column in plot.columns], plot.names, plot.title,
            plot.block_headers, plot.blocks)


class CompressedTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)

    def test_compressed_reads_equal_the_plain_file(self):
        rng = random.Random(26)
        for round in range(25):
            params, count = rng.randint(1, 25), rng.randint(0, 40)
            width = rng.choice([12, 15])
            text = random_plot(rng, params, count, width).encode()
            plain = self.files.write(text)
            names = list(korvane.read_plot(plain).names)
            choices = rng.sample(names, rng.randint(1, params))
            selection = rng.choice([None, slice(-5, None), [0, -1] if count else [], range(0, count, 3)])
            for name, compress in packings(rng):
                packed = self.files.write(compress(text), "packed")
                with self.subTest(round=round, packing=name, blocks=selection):
                    for columns, blocks in ((None, None), (choices, selection)):
                        expected = korvane.read_plot(plain, columns=columns, blocks=blocks,
                                                     block_headers=True)
                        got = korvane.read_plot(packed, columns=columns, blocks=blocks,
                                                block_headers=True)
                        self.assertEqual(parts(got), parts(expected))
                    with korvane.open_plot(packed) as plot_file, korvane.open_plot(plain) as ref:
                        self.assertEqual((plot_file.blocks, plot_file.width),
                                         (ref.blocks, ref.width))
                        if count:
                            self.assertEqual(
                                parts(plot_file.read(choices, blocks=selection, block_headers=True)),
                                parts(ref.read(choices, blocks=selection, block_headers=True)))

    def test_a_file_larger_than_the_decompressors_buffers(self):
        # Several megabytes: the decompressed chunks go round their ring many times, and a read
        # of the last blocks skips most of them.
        rng = random.Random(11)
        text = random_plot(rng, 60, 4000).encode()
        plain = self.files.write(text)
        expected = korvane.read_plot(plain, block_headers=True)
        last = korvane.read_plot(plain, blocks=slice(-7, None), columns=[5, 0])
        for name, compress in packings(rng):
            packed = self.files.write(compress(text), "packed")
            with self.subTest(packing=name):
                self.assertEqual(parts(korvane.read_plot(packed, block_headers=True)),
                                 parts(expected))
                with korvane.open_plot(packed) as plot_file:
                    self.assertEqual(parts(plot_file.read([5, 0], blocks=slice(-7, None))),
                                     parts(last))

    def test_a_faulty_line_is_numbered_as_in_the_plain_file(self):
        rng = random.Random(7)
        for round in range(12):
            params = rng.randint(1, 15)
            lines = random_plot(rng, params, rng.randint(2, 30)).split("\n")
            bad = rng.randrange(params + 2, len(lines) - 1)
            if not lines[bad].startswith(" TIME"):
                lines[bad] = lines[bad][:5] + "x" + lines[bad][6:]
            else:
                lines[bad] = lines[bad] + "\n"
            text = "\n".join(lines).encode()
            plain = self.files.write(text)
            with self.assertRaises(korvane.PlotFormatError) as expected:
                korvane.read_plot(plain)
            for name, compress in packings(rng):
                packed = self.files.write(compress(text), "packed")
                with self.subTest(round=round, packing=name):
                    with self.assertRaises(korvane.PlotFormatError) as got:
                        korvane.read_plot(packed)
                    self.assertEqual((got.exception.msg, got.exception.lineno, got.exception.field),
                                     (expected.exception.msg, expected.exception.lineno,
                                      expected.exception.field))

    def test_a_stream_cut_short_fails_naming_its_packing(self):
        rng = random.Random(3)
        text = random_plot(rng, 12, 400).encode()
        streams = [("gzip", gzip.compress(text, 6))]
        if HAS_ZSTD:
            streams.append(("zstd", zstd_compress(text, 3)))
        for name, data in streams:
            for cut in [4, 10, len(data) - 1] + [rng.randrange(4, len(data)) for _ in range(15)]:
                path = self.files.write(data[:cut], "cut")
                for read in (korvane.read_plot, korvane.open_plot):
                    with self.subTest(packing=name, cut=cut, read=read.__name__):
                        with self.assertRaises(korvane.PlotFormatError) as caught:
                            read(path).close() if read is korvane.open_plot else read(path)
                        self.assertIn(name, caught.exception.msg)
                        self.assertIn("ends before", caught.exception.msg)

    def test_corrupt_data_fails_as_a_format_error(self):
        text = random_plot(random.Random(9), 5, 50).encode()
        data = bytearray(gzip.compress(text))
        data[-6] ^= 0xFF  # in the CRC of the trailer
        with self.assertRaises(korvane.PlotFormatError) as caught:
            korvane.read_plot(self.files.write(bytes(data), "bad"))
        self.assertIn("gzip data is corrupt", caught.exception.msg)

    def test_following_a_compressed_file_fails_at_once(self):
        path = self.files.write(gzip.compress(random_plot(random.Random(2), 3, 3).encode()))
        with self.assertRaises(korvane.FollowError) as caught:
            korvane.follow(path)
        self.assertIn("compressed", str(caught.exception))


if __name__ == "__main__":
    unittest.main()
