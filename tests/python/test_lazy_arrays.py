"""PlotFile.to_dask and the xarray engine against read_plot: the same values bit for bit, for random
files, chunks and selections; only the chosen blocks read; graphs that hold no values."""

import os
import pickle
import random
import sys
import tempfile
import unittest

import korvane
from support import TempFiles, plot_text, random_plot, run_child

try:
    import numpy
    import dask
    import dask.array
except ImportError as missing:
    DASK_MISSING = f"Dask's arrays cannot be imported by this interpreter: {missing}"
else:
    DASK_MISSING = None

try:
    import xarray
    import xarray.backends.plugins
except ImportError as missing:
    XARRAY_MISSING = f"xarray cannot be imported by this interpreter: {missing}"
else:
    XARRAY_MISSING = None


def setUpModule():
    """Declares the engine as the installed wheel does, through an entry point in a .dist-info
    folder on sys.path, so that xarray finds it without pip."""
    global ENTRY_POINT_FOLDER
    ENTRY_POINT_FOLDER = tempfile.TemporaryDirectory(prefix="korvane-entry-")
    dist_info = os.path.join(ENTRY_POINT_FOLDER.name, "korvane_under_test-0.dist-info")
    os.mkdir(dist_info)
    with open(os.path.join(dist_info, "METADATA"), "w") as out:
        out.write("Metadata-Version: 2.1\nName: korvane-under-test\nVersion: 0\n")
    with open(os.path.join(dist_info, "entry_points.txt"), "w") as out:
        out.write("[xarray.backends]\nkorvane = korvane:XarrayBackend\n")
    sys.path.append(ENTRY_POINT_FOLDER.name)
    if XARRAY_MISSING is None:
        xarray.backends.plugins.list_engines.cache_clear()


def tearDownModule():
    sys.path.remove(ENTRY_POINT_FOLDER.name)
    ENTRY_POINT_FOLDER.cleanup()


def random_chunks(rng, blocks):
    """chunks in each form to_dask takes."""
    form = rng.randrange(4)
    if form == 0:
        return None
    if form == 1:
        return rng.randint(1, blocks + 2)
    if form == 2:
        return f"{rng.randint(1, 4)} KiB"
    cuts = sorted(rng.randint(0, blocks) for _ in range(rng.randint(0, 4)))
    return tuple(last - first for first, last in zip([0] + cuts, cuts + [blocks]))


def random_blocks(rng, blocks):
    """A block selection: a slice with any bounds and step, a range or a list of numbers."""
    form = rng.randrange(3)
    if form == 0:
        bound = lambda: rng.choice([None, rng.randint(-blocks - 2, blocks + 2)])  # noqa: E731
        return slice(bound(), bound(), rng.choice([None, 1, 2, 3, -1, -2]))
    if form == 1:
        first = rng.randint(0, blocks)
        return range(first, rng.randint(first, blocks), rng.randint(1, 3))
    return [rng.randint(-blocks, blocks - 1) for _ in range(rng.randint(0, 6))]


class Files(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)
        self.rng = random.Random(25)


@unittest.skipIf(DASK_MISSING, DASK_MISSING)
class ToDaskTest(Files):
    def test_chunks_and_columns_match_read_plot(self):
        for case in range(40):
            params, blocks = self.rng.randint(1, 23), self.rng.randint(0, 90)
            path = self.files.write(random_plot(self.rng, params, blocks), f"run{case}.plt")
            full = korvane.read_plot(path).to_numpy()
            chunks = random_chunks(self.rng, blocks)
            chosen = self.rng.sample(range(params), self.rng.randint(0, min(params, 4)))
            positions = self.rng.choice([None, [position - self.rng.choice([0, params])
                                                for position in chosen]])
            scheduler = self.rng.choice(["threads", "sync"])
            with self.subTest(params=params, blocks=blocks, chunks=chunks, columns=positions):
                with korvane.open_plot(path) as plot_file:
                    lazy = plot_file.to_dask(chunks, columns=positions)
                expected = full if positions is None else full[positions]
                self.assertEqual(lazy.shape, expected.shape)
                self.assertEqual(sum(lazy.chunks[1]), blocks)
                values = lazy.compute(scheduler=scheduler)
                self.assertEqual(values.dtype, numpy.float32)
                self.assertEqual(values.tobytes(), expected.tobytes())

    def test_graph_holds_no_values(self):
        # The same number of chunks over 10 and 10,000 blocks: the pickled graphs differ by the
        # few digits of the block numbers, not by the values.
        sizes = []
        for blocks in (10, 10_000):
            path = self.files.write(random_plot(self.rng, 7, blocks), f"b{blocks}.plt")
            lazy = korvane.open_plot(path).to_dask(-(-blocks // 5))
            self.assertEqual(len(lazy.chunks[1]), 5)
            sizes.append(len(pickle.dumps(dict(lazy.__dask_graph__()))))
        self.assertLess(abs(sizes[1] - sizes[0]), 64, sizes)
        self.assertLess(sizes[1], 5 * 200, sizes)

    def test_default_chunk_is_about_128_mib(self):
        path = self.files.write(random_plot(self.rng, 3, 4))
        for params, blocks in ((1, 10**9), (1000, 10**8)):
            chunks = korvane._chunk_blocks(None, params, blocks)
            self.assertGreater(chunks[0] * params * 4, (128 << 20) - params * 4)
            self.assertLessEqual(chunks[0] * params * 4, 128 << 20)
            self.assertEqual(sum(chunks), blocks)
        self.assertEqual(korvane.open_plot(path).to_dask().chunks, ((3,), (4,)))

    def test_refused_chunks_and_columns(self):
        path = self.files.write(random_plot(self.rng, 3, 10))
        plot_file = korvane.open_plot(path)
        for chunks, error in ((0, ValueError), (True, TypeError), ((3, 3), ValueError),
                              ((11, -1), ValueError), ("1 B", ValueError), (2.5, TypeError)):
            with self.subTest(chunks=chunks):
                self.assertRaises(error, plot_file.to_dask, chunks)
        for columns, error in ((["P9"], KeyError), ([3], IndexError), ([-4], IndexError),
                               ("P1", TypeError), ([True], TypeError), ([1, -2], ValueError)):
            with self.subTest(columns=columns):
                self.assertRaises(error, plot_file.to_dask, columns=columns)

    def test_a_file_replaced_at_its_path_is_read_anew(self):
        # Each thread keeps the files it read open; a file replaced since is opened again.
        path = self.files.write(random_plot(self.rng, 4, 30))
        for _ in range(3):
            expected = korvane.read_plot(path).to_numpy()
            lazy = korvane.open_plot(path).to_dask(7)
            self.assertEqual(lazy.compute(scheduler="sync").tobytes(), expected.tobytes())
            replacement = self.files.write(random_plot(self.rng, 4, 30), "next.plt")
            os.replace(replacement, path)

    def test_files_kept_open_are_few(self):
        def descriptors():
            return len(os.listdir("/proc/self/fd"))

        before = descriptors()
        for case in range(12):
            path = self.files.write(random_plot(self.rng, 2, 5), f"f{case}.plt")
            korvane.open_plot(path).to_dask(2).compute(scheduler="sync")
        self.assertLessEqual(descriptors(), before + korvane._FILES_KEPT)


class ImportsTest(unittest.TestCase):
    def test_nothing_imported_before_use_and_a_clear_error_without_dask(self):
        files = TempFiles()
        self.addCleanup(files.cleanup)
        path = files.write(plot_text([["1.0", "2.0"]]))
        status, out, err = run_child(f"""
            import sys
            import korvane
            assert not {{"numpy", "dask", "xarray"}} & set(sys.modules), sys.modules.keys()
            sys.modules["dask"] = None
            try:
                korvane.open_plot({path!r}).to_dask()
            except ImportError as error:
                print(error)
            """)
        self.assertEqual((status, err), (0, b""))
        self.assertIn(b"PlotFile.to_dask needs Dask", out)


def check_variable_names(test, names, variables):
    test.assertEqual(len(variables), len(names))
    test.assertEqual(len(set(variables)), len(variables))
    test.assertNotIn("", variables)
    # The first holder of each name keeps it; the names made for the others are no parameter's.
    for position, name in enumerate(names):
        if name and names.index(name) == position:
            test.assertEqual(variables[position], name)
        elif not name or names.index(name) != position:
            test.assertNotIn(variables[position], names)


class VariableNamesTest(unittest.TestCase):
    def test_unique_and_kept_where_unique(self):
        rng = random.Random(3)
        pool = ["", "A", "A.1", "A.2", "B", "unnamed1", "unnamed1.1"]
        for _ in range(300):
            names = [rng.choice(pool) for _ in range(rng.randint(0, 8))]
            with self.subTest(names=names):
                check_variable_names(self, names, korvane._variable_names(names))
        self.assertEqual(korvane._variable_names(["A", "", "A", "A.1", "B", "A"]),
                         ["A", "unnamed1", "A.2", "A.1", "B", "A.3"])


@unittest.skipIf(XARRAY_MISSING or DASK_MISSING, XARRAY_MISSING or DASK_MISSING)
class XarrayTest(Files):
    def open(self, path, **options):
        dataset = xarray.open_dataset(path, engine="korvane", **options)
        self.addCleanup(dataset.close)
        return dataset

    def test_dataset_of_a_file(self):
        names = ["P0", "", "P0", "T", "P0.1"]
        rows = [[f"{self.rng.uniform(-9, 9):.5E}" for _ in names] for _ in range(13)]
        path = self.files.write(plot_text(rows, names=names), "run.plt")
        plot = korvane.read_plot(path, block_headers=True)
        dataset = self.open(path, block_headers=True, drop_variables=["T"])
        self.assertEqual(list(dataset.data_vars), ["P0", "unnamed1", "P0.2", "P0.1"])
        self.assertEqual(dataset.attrs["title"], plot.title)
        self.assertEqual(dataset.attrs["n_digits"], 12)
        self.assertEqual(list(dataset["block_header"].values), plot.block_headers)
        for variable in dataset.data_vars.values():
            self.assertEqual(variable.dims, ("block",))
            position = variable.attrs["position"]
            self.assertEqual(variable.attrs["name"], names[position])
            self.assertEqual(variable.values.tobytes(), plot.columns[position].tobytes())
        self.assertNotIn("block_header", xarray.open_dataset(path).coords)
        self.assertEqual(list(self.open(path, drop_variables="P0").data_vars),
                         ["unnamed1", "P0.2", "T", "P0.1"])

    def test_selections_match_read_plot(self):
        for case in range(12):
            params, blocks = self.rng.randint(1, 14), self.rng.randint(1, 60)
            path = self.files.write(random_plot(self.rng, params, blocks), f"run{case}.plt")
            chunks = self.rng.choice([None, {}, {"block": self.rng.randint(1, blocks)}])
            dataset = self.open(path, chunks=chunks)
            for _ in range(8):
                position, chosen = self.rng.randrange(params), random_blocks(self.rng, blocks)
                with self.subTest(case=case, chunks=chunks, blocks=chosen):
                    variable = dataset[f"P{position}"]
                    if chunks is not None:
                        self.assertIsInstance(variable.data, dask.array.Array)
                    try:
                        expected = korvane.read_plot(path, columns=[position], blocks=chosen)
                    except IndexError:
                        continue
                    index = list(chosen) if isinstance(chosen, range) else chosen
                    values = variable.isel(block=index).values
                    self.assertEqual(values.tobytes(), expected.columns[0].tobytes())
                    if len(expected.columns[0]):
                        single = variable.isel(block=index if isinstance(index, slice) else
                                               index[0]).values
                        self.assertEqual(single.tobytes()[:4], expected.columns[0][:1].tobytes())

    def test_a_selection_reads_only_its_blocks(self):
        # A field that cannot be read in the first block: selections of the others read.
        rows = [[f"{block}.5", "1.0"] for block in range(300)]
        rows[0][1] = "1.0x"
        path = self.files.write(plot_text(rows), "bad.plt")
        for chunks in (None, {"block": 50}):
            dataset = self.open(path, chunks=chunks)
            with self.subTest(chunks=chunks):
                tail = dataset["P1"].isel(block=slice(-100, None)).values
                self.assertEqual(tail.tolist(), [1.0] * 100)
                self.assertEqual(dataset["P0"].values[:2].tolist(), [0.5, 1.5])
                with self.assertRaises(korvane.PlotFormatError) as raised:
                    dataset["P1"].values
                self.assertEqual(raised.exception.lineno, 5)

    def test_chunked_dataset_pickles_without_values(self):
        path = self.files.write(random_plot(self.rng, 5, 2000), "run.plt")
        dataset = self.open(path, chunks={"block": 500})
        copy = pickle.loads(pickle.dumps(dataset))
        self.assertEqual(copy["P3"].values.tobytes(),
                         korvane.read_plot(path, columns=[3]).columns[0].tobytes())
        self.assertLess(len(pickle.dumps(dataset)), 5 * 2000 * 4 // 2)

    def test_guess_can_open(self):
        backend = korvane.XarrayBackend()
        for path, expected in (("run.plt", True), (b"RUN.PLT", True), ("run.nc", False),
                               (3, False)):
            with self.subTest(path=path):
                self.assertIs(backend.guess_can_open(path), expected)


if __name__ == "__main__":
    unittest.main()
