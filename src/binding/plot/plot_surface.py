# src/binding/plot/plot_surface.py: read_plot, follow and their types, the module's Pythonic surface
# over the reader that _read_plot and _follow_read run. The module runs this file in its own namespace when it
# is imported: it needs builtins only then, and imports what it uses when called.


def _shown(path):
    """A path as messages show it: a name os.listdir() gives, whether the path is bytes or str."""
    from os import fsdecode
    try:
        return repr(fsdecode(path))
    except TypeError:
        return repr(path)


class PlotFormatError(ValueError):
    """A plot file whose content does not follow the plot file format.

    msg says what is wrong; filename is the file's path as given (str or bytes, as open() keeps it),
    lineno the line (from 1) and field the data field on it (from 1), each None where it does not
    apply.
    """

    def __init__(self, msg, filename=None, lineno=None, field=None):
        where = [f"in {_shown(filename)}"] if filename is not None else []
        if lineno is not None:
            where.append(f"line {lineno}")
        if field is not None:
            where.append(f"field {field}")
        ValueError.__init__(self, f"{msg} ({', '.join(where)})" if where else msg)
        self.msg = msg
        self.filename = filename
        self.lineno = lineno
        self.field = field

    def __reduce__(self):
        return type(self), (self.msg, self.filename, self.lineno, self.field)


class Plot:
    """The parameters read from a plot file.

    file_path: the path as given (str or bytes); names: the parameters' names (tuple of str);
    title: the first line without the parameter count; blocks: the number of timesteps; columns:
    one array('f') of blocks values per parameter, in the order of names; block_headers: the
    block header lines (list of blocks str), or None when they were not kept. len(), iteration
    and plot[i] go over the columns; plot["name"] takes a column by its name. The constructor
    (and so unpickling) refuses fields that do not fit together with TypeError or ValueError.
    """

    __slots__ = ("file_path", "title", "names", "_columns", "_table", "blocks", "block_headers")

    def __init__(self, file_path, title, names, columns, blocks, block_headers=None):
        self.file_path = _checked_path(file_path)
        self.title = _checked_text(title, "title must be a str")
        self.names = tuple(names)
        self._columns = list(columns)
        self._table = None
        self.blocks = _whole_number(blocks, "Plot blocks", 0)
        self.block_headers = block_headers
        _check_fit(self)

    @classmethod
    def _of_reader(cls, file_path, title, names, values, blocks, block_headers):
        """The Plot of what the reader returned (names a tuple; values the list of columns, or a
        table of every value, a parameter's blocks after another's), which fits by construction:
        the constructor's checks would cost up to a microsecond a parameter."""
        plot = object.__new__(cls)
        plot.file_path = file_path
        plot.title = title
        plot.names = names
        if isinstance(values, list):
            plot._columns, plot._table = values, None
        else:
            plot._columns, plot._table = None, values
        plot.blocks = blocks
        plot.block_headers = block_headers
        return plot

    @property
    def columns(self):
        """One array('f') per parameter, made from the table of a threaded read when first
        asked for (the table is let go then)."""
        if self._columns is None:
            self._columns = self._made_columns()
            self._table = None
        return self._columns

    @columns.setter
    def columns(self, columns):
        self._columns, self._table = list(columns), None

    def _made_columns(self):
        """New array('f') columns holding the values of the table."""
        from array import array
        table, count = self._table, self.blocks
        if isinstance(table, array):
            return [table[i * count:(i + 1) * count] for i in range(len(self.names))]
        view, size = memoryview(table), count * 4
        columns = []
        for i in range(len(self.names)):
            column = array("f")
            column.frombytes(view[i * size:(i + 1) * size])
            columns.append(column)
        return columns

    def __len__(self):
        return len(self.names)

    def __iter__(self):
        return iter(self.columns)

    def __getitem__(self, key):
        if isinstance(key, str):
            return self.columns[self.index(key)]
        return self.columns[key]

    def index(self, name):
        """The position of the one parameter called name; KeyError when none or several are."""
        positions = [position for position, known in enumerate(self.names) if known == name]
        if not positions:
            raise KeyError(f"no parameter named '{name}'")
        if len(positions) > 1:
            raise KeyError(f"parameter name '{name}' is not unique: positions {positions[0]} and "
                           f"{positions[1]} hold it; choose by position")
        return positions[0]

    def to_numpy(self):
        """The values as one 2-D numpy.float32 array, a row per parameter. The Plot of a threaded
        read holds its values in one table, which this returns without a copy while the columns
        have not been asked for: the array and the Plot then share their values."""
        try:
            import numpy
        except ImportError as missing:
            raise ImportError("Plot.to_numpy needs NumPy, which is not installed: install numpy, "
                              "or use plot.columns, which are array('f')") from missing
        shape = (len(self.names), self.blocks)
        if self._table is not None and len(self._table):
            return numpy.frombuffer(self._table, dtype=numpy.float32).reshape(shape)
        table = numpy.empty(shape, dtype=numpy.float32)
        if self.blocks:
            for row, column in zip(table, self.columns):
                row[:] = numpy.frombuffer(column, dtype=numpy.float32)
        return table

    def __repr__(self):
        return (f"<korvane.Plot {self.file_path!r}: {len(self.names)} parameters, "
                f"{self.blocks} blocks>")

    def _state(self):
        # Columns compare by their bytes, so that NaN values compare equal to themselves.
        columns = self._made_columns() if self._columns is None else self._columns
        return (self.file_path, self.title, self.names, self.blocks, self.block_headers,
                [column.tobytes() for column in columns])

    def __eq__(self, other):
        if not isinstance(other, Plot):
            return NotImplemented
        return self._state() == other._state()

    __hash__ = None

    def __reduce__(self):
        # array('f') pickles as its bytes: about 4 bytes a value.
        columns = self._made_columns() if self._columns is None else self._columns
        return Plot, (self.file_path, self.title, self.names, columns, self.blocks,
                      self.block_headers)


def _checked_path(file_path):
    if not isinstance(file_path, (str, bytes)):
        raise TypeError(f"Plot file_path must be a str or bytes, not {type(file_path).__name__}")
    return file_path


def _checked_text(text, rule):
    if not isinstance(text, str):
        raise TypeError(f"Plot {rule}, not {type(text).__name__}")
    return text


def _whole_number(value, what, least, most=None):
    """operator.index(value) from least to most; a bool is refused, since True would silently
    stand for 1."""
    if isinstance(value, bool):
        raise TypeError(f"{what} must be an int, not bool")
    from operator import index
    number = index(value)
    if number < least:
        raise ValueError(f"{what} must be at least {least}, not {number}")
    if most is not None and number > most:
        raise ValueError(f"{what} must be at most {most}, not {number}")
    return number


def _check_fit(plot):
    """Refuses names, columns and block headers that do not fit together and with blocks."""
    from array import array
    names, columns, blocks = plot.names, plot.columns, plot.blocks
    if len(names) != len(columns):
        raise ValueError(f"Plot has {len(names)} names for {len(columns)} columns: one name per "
                         "column")
    for name in names:
        _checked_text(name, "names must be str")
    for position, column in enumerate(columns):
        if not isinstance(column, array) or column.typecode != "f":
            kind = (f"array('{column.typecode}')" if isinstance(column, array)
                    else type(column).__name__)
            raise TypeError(f"Plot column {position} must be an array('f'), not {kind}")
        if len(column) != blocks:
            raise ValueError(f"Plot column {position} holds {len(column)} values for {blocks} "
                             "blocks")
    headers = plot.block_headers
    if headers is None:
        return
    if not isinstance(headers, list):
        raise TypeError("Plot block_headers must be None or a list of str, not "
                        f"{type(headers).__name__}")
    for header in headers:
        _checked_text(header, "block_headers must be str")
    if len(headers) != blocks:
        raise ValueError(f"Plot has {len(headers)} block headers for {blocks} blocks")


def _choices(columns):
    if isinstance(columns, (str, bytes)):
        raise TypeError("columns must be an iterable of parameter positions and names, not one "
                        "str: write columns=[name]")
    choices = []
    for choice in columns:
        choices.append(choice if isinstance(choice, str) else _position(choice))
    return tuple(choices)


# No plot file has more parameters than this.
_MOST_PARAMETERS = 0xFFFFFFFF


def _position(choice):
    """A parameter position; a bool is no position, though it is an int."""
    from operator import index
    try:
        if isinstance(choice, bool):
            raise TypeError
        position = index(choice)
    except TypeError:
        raise TypeError("columns must hold parameter positions (int) and names (str), not "
                        f"{type(choice).__name__}") from None
    if not -_MOST_PARAMETERS <= position < _MOST_PARAMETERS:
        raise IndexError(f"parameter position {position} is out of range: a plot file has at "
                         f"most {_MOST_PARAMETERS} parameters")
    return position


def _arguments(file_path, n_digits, columns):
    """The path (str or bytes, as open() takes it), the width (0: told by the first data line) and
    the choices the reader takes."""
    from os import fspath
    path = fspath(file_path)
    width = 0 if n_digits is None else _whole_number(n_digits, "n_digits", 1, 0xFFFFFFFF)
    choices = None if columns is None else _choices(columns)
    return path, width, choices


def _threads(threads):
    """The threads the reader takes, and whether as given: the count given, or, for None (0), up
    to the processors this thread may run on (its affinity), as many as the read's size gains
    from."""
    if threads is None:
        return 0, False
    return _whole_number(threads, "threads", 1, 0xFFFFFFFF), True


def read_plot(file_path, n_digits=None, *, columns=None, block_headers=False, blocks=None,
              threads=None):
    """Reads a TOLVERA plot file into a Plot of float32 columns.

    file_path: what open() takes, a str, bytes or os.PathLike of either; a str names the file by
    the bytes os.fsencode() makes of it, so the names os.listdir() gives serve whatever their
    encoding. n_digits: the width of a data field (12 or 15 as the simulation writes them; any
    width from 1); None takes it from the first data line. columns: the parameters to read, by
    position (int) and/or name (str), in that order; all when None. A bool is refused for
    n_digits and in columns (TypeError), since True would silently stand for 1. block_headers:
    keep each block's header line in plot.block_headers.

    A file that cannot be opened or read raises the OSError that open() would; malformed content
    raises PlotFormatError (a ValueError) naming the line and field; a name or position that is
    not in the file raises KeyError or IndexError. The errors' filename is the path as given.
    blocks: the blocks to read, as PlotFile.read() takes them; all when None. threads: the
    threads that parse the file, each a share of its blocks, as PlotFile.read() takes them.
    """
    path, width, choices = _arguments(file_path, n_digits, columns)
    parsers = _threads(threads)
    if blocks is not None:
        with PlotFile(path, width, True) as plot_file:
            return plot_file._read(choices, blocks, bool(block_headers), parsers)
    title, names, arrays, count, headers = _read_plot(path, width, choices, bool(block_headers),
                                                      *parsers)
    return Plot._of_reader(path, title, names, arrays, count, headers)


def _block_number(number, count):
    """A block number from 0, a negative one counting from the end; IndexError out of range."""
    if isinstance(number, bool):
        raise TypeError("blocks must hold block numbers (int), not bool")
    from operator import index
    block = index(number)
    if block < 0:
        block += count
    if not 0 <= block < count:
        raise IndexError(f"block {number} is out of range: the file holds {count} complete blocks")
    return block


def _block_runs(blocks, count):
    """The (first, last) runs of consecutive blocks that blocks (an int, a slice, a range or an
    iterable of ints) chooses, in its order."""
    if isinstance(blocks, slice):
        blocks = range(*blocks.indices(count))
        if blocks.step == 1:
            return [(blocks.start, max(blocks.start, blocks.stop))]
    elif not isinstance(blocks, (range, list, tuple)):
        try:
            blocks = [blocks.__index__()] if not isinstance(blocks, bool) else blocks
        except AttributeError:
            blocks = list(blocks)
    if isinstance(blocks, bool):
        raise TypeError("blocks must be an int, a slice, a range or block numbers, not bool")
    runs = []
    for number in blocks:
        block = _block_number(number, count)
        if runs and runs[-1][1] == block:
            runs[-1][1] = block + 1
        else:
            runs.append([block, block + 1])
    return [tuple(run) for run in runs]


class _HeldFile:
    """A file held open by the reader through _handle (None once closed); a context manager
    that closes it."""

    @property
    def closed(self):
        return self._handle is None

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()


class PlotFile(_HeldFile):
    """A plot file held open, its head read and its blocks indexed; made by open_plot().

    names, title, width and file_path are the file's; blocks is the number of complete blocks,
    counted again when the file has grown. read() reads any of them. A file that shrank below the
    blocks counted, or another file at its path, raises FollowError. close(), or leaving a with
    block, closes the file.
    """

    def __init__(self, file_path, width, whole=False):
        from threading import Lock
        self.file_path = file_path
        # One call at a time: the reader works without the interpreter lock.
        self._lock = Lock()
        self._handle, self.title, self.names = _parts_open(file_path, width, whole)

    def _update(self):
        if self._handle is None:
            raise ValueError(f"I/O operation on a closed plot file {_shown(self.file_path)}")
        return _parts_update(self._handle)

    @property
    def blocks(self):
        """The number of complete blocks."""
        with self._lock:
            return self._update()[0]

    @property
    def width(self):
        """The width of a data field: given, or told by the first data line; None until then."""
        with self._lock:
            return self._update()[1] or None

    def read(self, columns=None, blocks=None, block_headers=False, threads=None):
        """A Plot of the chosen columns (as read_plot takes them) of the chosen blocks: an int, a
        slice, a range or a sequence of block numbers from 0, negative ones counting from the
        end, in the order given; all complete blocks when None. A block number out of range
        raises IndexError. threads: how many threads parse the blocks, each a share of them,
        without the interpreter lock; None takes the cores this process may run on
        (its affinity) for reads large enough to gain, one thread for smaller ones. The
        result, and the failure raised (the first in the order of the blocks), are the same
        whatever the threads."""
        choices = None if columns is None else _choices(columns)
        return self._read(choices, blocks, bool(block_headers), _threads(threads))

    def _read(self, choices, blocks, block_headers, parsers):
        with self._lock:
            count = self._update()[0]
            runs = [(0, count)] if blocks is None else _block_runs(blocks, count)
            title, names, arrays, read, headers = _parts_read(self._handle, choices,
                                                              block_headers, runs, *parsers)
        return Plot._of_reader(self.file_path, title, names, arrays, read, headers)

    def to_dask(self, chunks=None, *, columns=None):
        """The chosen columns (all when None) as a lazy dask.array of float32, parameters x
        blocks, chunked along blocks: chunks is None (about 128 MiB of values a chunk), blocks a
        chunk (int), values a chunk as a size ("64 MiB"), or the block counts of the chunks. Each
        chunk is read by one task, on whichever worker runs it. Needs Dask and NumPy."""
        return _dask_array(self, chunks, columns)

    def close(self):
        """Closes the file; later reads raise ValueError."""
        with self._lock:
            if self._handle is not None:
                _parts_close(self._handle)
                self._handle = None

    def __repr__(self):
        state = "closed" if self._handle is None else "open"
        return f"<korvane.PlotFile {self.file_path!r}: {state}>"


def open_plot(file_path, n_digits=None):
    """Opens a plot file to read parts of it: a PlotFile, its head read and its complete blocks
    indexed. The arguments are read_plot's; the head's failures are read_plot's."""
    path, width, _ = _arguments(file_path, n_digits, None)
    return PlotFile(path, width)


class FollowError(OSError):
    """A plot file that can no longer be followed, or cannot be at all.

    msg says why; filename is the file's path; errno tells the cause as a number, and strerror
    is the system's text for it: the error of the call that failed, where one did (ENOENT: the
    file was removed); ESTALE where the file no longer holds what was read (it shrank, was
    rewritten, or another file is at its path); ESPIPE for what cannot be read again from an
    offset (a directory, a FIFO, a socket, a device).
    """

    def __init__(self, msg, filename=None, errno=None):
        if errno is None:
            OSError.__init__(self, msg)
            self.filename = filename
        else:
            from os import strerror
            OSError.__init__(self, errno, strerror(errno), filename)
        self.msg = msg

    def __str__(self):
        return f"{self.msg} ({_shown(self.filename)})"

    def __reduce__(self):
        return type(self), (self.msg, self.filename, self.errno)


class Follower(_HeldFile):
    """A plot file followed as a running simulation writes it; made by follow().

    read() returns a Plot of the blocks completed since the previous read (all of them the first
    time), with the same names and title each time; blocks is the number read so far. Reads that
    find nothing new return one and the same empty Plot, which is not to be changed. A failure
    of read() closes the follower. close(), or leaving a with block, closes the file.
    """

    def __init__(self, file_path, width, choices, block_headers):
        from threading import Lock
        self.file_path = file_path
        self.blocks = 0
        self._block_headers = block_headers
        # The title and names once the file holds them, and the empty Plot that every read
        # finding nothing new returns: making one with an empty column per parameter each time
        # would cost more than the read.
        self._title = ""
        self._names = ()
        self._nothing_new = None
        # One read or close at a time: the reader works without the interpreter lock.
        self._lock = Lock()
        # Whether a thread was reading or closing when the process forked, in the child.
        self._forked_in_use = False
        self._handle = _follow_open(file_path, width, choices)
        _forking_followers.watch(self)

    def read(self):
        """A Plot of the blocks completed since the previous read, possibly none."""
        with self._lock:
            if self._handle is None:
                raise ValueError(f"read of a closed follower of {_shown(self.file_path)}")
            if self._forked_in_use:
                self._close()
                from errno import ESTALE
                raise FollowError("the process forked while another thread was reading or closing "
                                  "this follower: what that read took is unknown here; follow the "
                                  "file anew", self.file_path, ESTALE)
            try:
                contents = _follow_read(self._handle, self._block_headers)
            except BaseException:
                self._close()
                raise
            if contents is not None:
                title, names, arrays, blocks, headers = contents
                if (title, names) != (self._title, self._names):
                    # The first line and the names, read now: the empty Plot had none.
                    self._title, self._names, self._nothing_new = title, names, None
                self.blocks += blocks
                return Plot._of_reader(self.file_path, title, names, arrays, blocks, headers)
            if self._nothing_new is None:
                from array import array
                self._nothing_new = Plot._of_reader(self.file_path, self._title, self._names,
                                                    [array("f") for _ in self._names], 0,
                                                    [] if self._block_headers else None)
            return self._nothing_new

    def close(self):
        """Closes the file; reads after it raise ValueError."""
        with self._lock:
            self._close()

    def _close(self):
        if self._handle is not None:
            _follow_close(self._handle)
            self._handle = None

    def _after_fork(self):
        # In a child process, which has only the thread that forked: a thread of the parent
        # inside read() or close() has left the lock held and the follower's state unknown.
        from threading import Lock
        self._forked_in_use = self._lock.locked()
        self._lock = Lock()

    def __repr__(self):
        state = "closed" if self._handle is None else "open"
        return f"<korvane.Follower {self.file_path!r}: {self.blocks} blocks read, {state}>"


class _ForkingFollowers:
    """The followers of the process, each given a new lock in a forked child; the hook that does
    it is registered with the first follower."""

    def __init__(self):
        self._followers = None

    def watch(self, follower):
        if self._followers is None:
            from os import register_at_fork
            from weakref import WeakSet
            self._followers = WeakSet()
            register_at_fork(after_in_child=self._after_fork)
        self._followers.add(follower)

    def _after_fork(self):
        for follower in list(self._followers):
            follower._after_fork()


_forking_followers = _ForkingFollowers()


def follow(file_path, n_digits=None, *, columns=None, block_headers=False):
    """Follows a plot file that a running simulation writes: a Follower whose read() returns the
    blocks completed since the previous read. A last line without its line feed, and a block
    without all its data lines, wait for a later read; the complete blocks of a file that will
    never be finished (a run that crashed) read the same way. The arguments are read_plot's;
    a file that is not a regular file raises FollowError.
    """
    path, width, choices = _arguments(file_path, n_digits, columns)
    return Follower(path, width, choices, bool(block_headers))
