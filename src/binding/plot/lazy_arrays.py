# src/binding/plot/lazy_arrays.py: a plot file as lazy, chunked arrays, for Dask (PlotFile.to_dask)
# and xarray (XarrayBackend, the engine "korvane"). The module runs this file in its own namespace
# after plot_surface.py, whose names it uses; it imports NumPy, Dask and xarray only when called.
#
# A chunk is a run of blocks read by one task through open_plot(...).read(columns=, blocks=). The
# tasks hold the path, the width and the run, never values, so a graph pickles small and a task
# runs on whichever worker takes it. Each thread keeps the few files it read last open, so that a
# task does not index the whole file again to read its part of it.

# The values a chunk holds by default: 128 MiB of float32.
_CHUNK_BYTES = 128 << 20
# Files kept open by each thread for the chunks it reads.
_FILES_KEPT = 4


def _imported(module, feature, package):
    """import_module(module), or an ImportError that says what needs it and what to install."""
    from importlib import import_module
    try:
        return import_module(module)
    except ImportError as missing:
        raise ImportError(f"{feature} needs {package}, which this interpreter cannot import "
                          f"({missing}): install {package}, or read parts with "
                          "PlotFile.read(blocks=...)") from missing


class _KeptFiles:
    """The plot files each thread read chunks of lately, open, by (path, width): the first chunk
    a thread reads indexes the file, later ones start from the index."""

    def __init__(self):
        from threading import local
        self._local = local()

    def _files(self):
        files = getattr(self._local, "files", None)
        if files is None:
            files = self._local.files = {}
        return files

    def read(self, path, width, positions, blocks):
        """PlotFile.read(columns=positions, blocks=blocks) of the file kept open, or opened now.
        A file kept open that was replaced at its path, or shrank, is opened anew, once."""
        files = self._files()
        key = (path, width)
        plot_file = files.pop(key, None)
        if plot_file is not None:
            try:
                return plot_file.read(columns=positions, blocks=blocks)
            except FollowError:
                plot_file.close()
                plot_file = None
            finally:
                self._keep(files, key, plot_file)
        plot_file = PlotFile(path, width)
        self._keep(files, key, plot_file)
        return plot_file.read(columns=positions, blocks=blocks)

    @staticmethod
    def _keep(files, key, plot_file):
        """Keeps plot_file (unless None) as the last file read; the one read longest ago is
        closed beyond the few kept."""
        if plot_file is None:
            return
        files[key] = plot_file
        while len(files) > _FILES_KEPT:
            files.pop(next(iter(files))).close()


_kept_files = _KeptFiles()


def _read_chunk(path, width, positions, first, last):
    """The values of the parameters at positions (all when None) in blocks first to last (not
    included), as a 2-D numpy.float32 array, a row per parameter: the task of one chunk."""
    return _kept_files.read(path, width, positions, slice(first, last)).to_numpy()


def _read_blocks(path, width, position, blocks):
    """The values of the parameter at position in the chosen blocks (as PlotFile.read takes
    them), as a 1-D numpy.float32 array: what xarray's lazy indexing reads."""
    return _kept_files.read(path, width, (position,), blocks).to_numpy()[0]


def _chunk_blocks(chunks, parameters, blocks):
    """The blocks of each chunk: chunks is None or "auto" (about 128 MiB of values a chunk), an
    int (blocks a chunk), a str size ("64 MiB": values a chunk) or a sequence of block counts
    adding up to blocks."""
    if chunks is None or chunks == "auto":
        per_chunk = _CHUNK_BYTES // (4 * max(parameters, 1))
    elif isinstance(chunks, str):
        size = _imported("dask.utils", "PlotFile.to_dask", "Dask").parse_bytes(chunks)
        per_chunk = size // (4 * max(parameters, 1))
        if per_chunk < 1:
            raise ValueError(f"chunks of {chunks!r} hold less than one block of {parameters} "
                             "float32 values")
    elif isinstance(chunks, (list, tuple)):
        counts = tuple(_whole_number(count, "a chunk's block count", 0) for count in chunks)
        if sum(counts) != blocks:
            raise ValueError(f"chunks hold {sum(counts)} blocks, but the file holds {blocks}")
        return counts or (0,)
    else:
        per_chunk = _whole_number(chunks, "chunks", 1)
    per_chunk = max(per_chunk, 1)
    counts = (per_chunk,) * (blocks // per_chunk)
    if blocks % per_chunk:
        counts += (blocks % per_chunk,)
    return counts or (0,)


def _positions(columns, names):
    """The positions that columns (positions and unique names, each chosen once, as read() takes
    them) choose among names, checked before any task reads them."""
    chosen = []
    for choice in _choices(columns):
        if isinstance(choice, str):
            held = [position for position, name in enumerate(names) if name == choice]
            if len(held) != 1:
                raise KeyError(f"no parameter named '{choice}'" if not held else
                               f"parameter name '{choice}' is not unique: positions {held[0]} "
                               f"and {held[1]} hold it; choose by position")
            chosen.append(held[0])
        elif -len(names) <= choice < len(names):
            chosen.append(choice % len(names))
        else:
            raise IndexError(f"parameter position {choice} is out of range: the file has "
                             f"{len(names)} parameters")
        if chosen[-1] in chosen[:-1]:
            raise ValueError(f"parameter '{names[chosen[-1]]}' (position {chosen[-1]}) is chosen "
                             "twice")
    return tuple(chosen)


def _file_token(path):
    """What tells this file's contents apart from another's at the same path, for the graph's
    name: its identity, size and time of change."""
    from os import stat
    facts = stat(path)
    return (facts.st_dev, facts.st_ino, facts.st_size, facts.st_mtime_ns)


def _dask_array(plot_file, chunks, columns):
    """PlotFile.to_dask: the chosen parameters' values as a dask.array of float32, parameters x
    blocks, chunked along blocks, a task a chunk."""
    dask_array = _imported("dask.array", "PlotFile.to_dask", "Dask (dask.array)")
    from dask.base import tokenize
    numpy = _imported("numpy", "PlotFile.to_dask", "NumPy")
    path, width, blocks = plot_file.file_path, plot_file.width, plot_file.blocks
    positions = None if columns is None else _positions(columns, plot_file.names)
    parameters = len(plot_file.names) if positions is None else len(positions)
    counts = _chunk_blocks(chunks, parameters, blocks)
    name = "korvane-read-" + tokenize(path, width, positions, counts, _file_token(path))
    graph = {}
    first = 0
    for index, count in enumerate(counts):
        graph[(name, 0, index)] = (_read_chunk, path, width, positions, first, first + count)
        first += count
    return dask_array.Array(graph, name, ((parameters,), counts), dtype=numpy.float32,
                            meta=numpy.empty((0, 0), dtype=numpy.float32))


def _variable_names(names):
    """A unique, non-empty variable name per parameter, in order: a name that is not empty and
    held by one parameter is kept; an empty one becomes "unnamed" and its position (unnamed3);
    the second holder of a name and later ones get ".1", ".2", ... after it (P, P.1, P.2), as
    pandas names repeated columns. A made name that some parameter holds gets the next number."""
    taken = set(names)
    made = []
    seen = set()
    for position, name in enumerate(names):
        base = name or f"unnamed{position}"
        variable = base
        number = 0
        while variable in seen or (variable != name and variable in taken):
            number += 1
            variable = f"{base}.{number}"
        seen.add(variable)
        made.append(variable)
    return made


def _lazy_column(path, width, position, blocks):
    """The values of one parameter as an xarray BackendArray that reads only what is indexed;
    pickles as this call, so that it runs on any worker."""
    return _backend_array_type()(path, width, position, blocks)


_backend_array = None


def _backend_array_type():
    """The BackendArray subclass of the parameters' lazy values, made the first time xarray is
    used: xarray is not imported before."""
    global _backend_array
    if _backend_array is not None:
        return _backend_array
    import numpy
    from xarray.backends import BackendArray
    from xarray.core import indexing

    class LazyColumn(BackendArray):
        """One parameter's values over the blocks; an index reads those blocks only."""

        def __init__(self, path, width, position, blocks):
            self.path, self.width, self.position = path, width, position
            self.shape = (blocks,)
            self.dtype = numpy.dtype(numpy.float32)

        def __getitem__(self, key):
            return indexing.explicit_indexing_adapter(key, self.shape,
                                                      indexing.IndexingSupport.OUTER,
                                                      self._read)

        def _read(self, key):
            (chosen,) = key
            if isinstance(chosen, slice):
                return _read_blocks(self.path, self.width, self.position, chosen)
            if isinstance(chosen, numpy.ndarray):
                return _read_blocks(self.path, self.width, self.position, chosen.tolist())
            return numpy.asarray(_read_blocks(self.path, self.width, self.position, [chosen])[0])

        def __reduce__(self):
            return _lazy_column, (self.path, self.width, self.position, self.shape[0])

    LazyColumn.__module__ = __name__
    LazyColumn.__qualname__ = "_LazyColumn"
    _backend_array = LazyColumn
    return LazyColumn


class XarrayBackend:
    """xarray's engine "korvane": xarray.open_dataset(path, engine="korvane") opens a plot file
    lazily, a variable per parameter over the dimension block.

    Variables are named by their parameters' names, made unique as _variable_names says; each
    keeps its parameter's name and position in its attributes "name" and "position". The title,
    the path and the width are the dataset's attributes. block_headers=True adds the block
    header lines as the coordinate block_header (read when the dataset opens); drop_variables
    leaves variables out, by their names in the dataset. An index reads only the blocks it
    chooses; chunks= makes Dask arrays whose tasks read their blocks where they run.
    """

    open_dataset_parameters = ("filename_or_obj", "drop_variables", "n_digits", "block_headers")
    description = "TOLVERA plot files, read lazily by korvane"
    url = ""

    def open_dataset(self, filename_or_obj, *, drop_variables=None, n_digits=None,
                     block_headers=False):
        import numpy
        import xarray
        from xarray.core import indexing
        path, width, _ = _arguments(filename_or_obj, n_digits, None)
        dropped = {drop_variables} if isinstance(drop_variables, str) else set(
            drop_variables or ())
        with PlotFile(path, width) as plot_file:
            width, blocks, names = plot_file.width, plot_file.blocks, plot_file.names
            headers = (plot_file.read(columns=(), blocks=slice(0, blocks),
                                      block_headers=True).block_headers
                       if block_headers and "block_header" not in dropped else None)
        per_chunk = _chunk_blocks(None, 1, max(blocks, 1))[0]
        variables = {}
        for position, (variable, name) in enumerate(zip(_variable_names(names), names)):
            if variable in dropped:
                continue
            values = indexing.LazilyIndexedArray(_lazy_column(path, width, position, blocks))
            variables[variable] = xarray.Variable(
                ("block",), values, attrs={"name": name, "position": position},
                encoding={"dtype": numpy.dtype(numpy.float32),
                          "preferred_chunks": {"block": per_chunk}})
        coordinates = {} if headers is None else {
            "block_header": ("block", numpy.array(headers, dtype=object))}
        attributes = {"title": plot_file.title, "file_path": _shown_path(path),
                      "n_digits": width or 0}
        return xarray.Dataset(variables, coords=coordinates, attrs=attributes)

    def guess_can_open(self, filename_or_obj):
        """Whether the path ends in .plt."""
        from os import fsdecode, fspath
        try:
            return fsdecode(fspath(filename_or_obj)).lower().endswith(".plt")
        except TypeError:
            return False


def _shown_path(path):
    """The path as a str, for the dataset's attributes (netCDF takes no bytes)."""
    from os import fsdecode
    return fsdecode(path)
