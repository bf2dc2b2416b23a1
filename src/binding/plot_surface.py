# src/binding/plot_surface.py: read_plot, follow and their types, the module's Pythonic surface
# over the reader that _read_plot and _follow_read run. The module runs this file in its own namespace when it
# is imported: it needs builtins only then, and imports what it uses when called.


class PlotFormatError(ValueError):
    """A plot file whose content does not follow the plot file format.

    msg says what is wrong; filename is the file's path, lineno the line (from 1) and field the
    data field on it (from 1), each None where it does not apply.
    """

    def __init__(self, msg, filename=None, lineno=None, field=None):
        where = [f"in {filename!r}"] if filename is not None else []
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

    names: the parameters' names (tuple of str); title: the first line without the parameter
    count; blocks: the number of timesteps; columns: one array('f') of blocks values per
    parameter, in the order of names; block_headers: the block header lines (list of str), or
    None when they were not kept. len(), iteration and plot[i] go over the columns; plot["name"]
    takes a column by its name.
    """

    __slots__ = ("file_path", "title", "names", "columns", "blocks", "block_headers")

    def __init__(self, file_path, title, names, columns, blocks, block_headers=None):
        self.file_path = file_path
        self.title = title
        self.names = tuple(names)
        self.columns = list(columns)
        self.blocks = blocks
        self.block_headers = block_headers

    def __len__(self):
        return len(self.columns)

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
        """The columns as one 2-D numpy.float32 array, a row per parameter."""
        try:
            import numpy
        except ImportError as missing:
            raise ImportError("Plot.to_numpy needs NumPy, which is not installed: install numpy, "
                              "or use plot.columns, which are array('f')") from missing
        table = numpy.empty((len(self.columns), self.blocks), dtype=numpy.float32)
        if self.blocks:
            for row, column in zip(table, self.columns):
                row[:] = numpy.frombuffer(column, dtype=numpy.float32)
        return table

    def __repr__(self):
        return (f"<korvane.Plot {self.file_path!r}: {len(self.names)} parameters, "
                f"{self.blocks} blocks>")

    def _state(self):
        # Columns compare by their bytes, so that NaN values compare equal to themselves.
        return (self.file_path, self.title, self.names, self.blocks, self.block_headers,
                [column.tobytes() for column in self.columns])

    def __eq__(self, other):
        if not isinstance(other, Plot):
            return NotImplemented
        return self._state() == other._state()

    __hash__ = None

    def __reduce__(self):
        # array('f') pickles as its bytes: about 4 bytes a value.
        return Plot, (self.file_path, self.title, self.names, self.columns, self.blocks,
                      self.block_headers)


def _width(n_digits):
    from operator import index
    width = index(n_digits)
    if width < 1:
        raise ValueError(f"n_digits must be at least 1, not {width}")
    if width > 0xFFFFFFFF:
        raise ValueError(f"n_digits must be at most 4294967295, not {width}")
    return width


def _choices(columns):
    if isinstance(columns, (str, bytes)):
        raise TypeError("columns must be an iterable of parameter positions and names, not one "
                        "str: write columns=[name]")
    from operator import index
    choices = []
    for choice in columns:
        if isinstance(choice, str):
            choices.append(choice)
            continue
        try:
            choices.append(index(choice))
        except TypeError:
            raise TypeError("columns must hold parameter positions (int) and names (str), not "
                            f"{type(choice).__name__}") from None
    return tuple(choices)


def _arguments(file_path, n_digits, columns):
    """The path, the width (0: told by the first data line) and the choices the reader takes."""
    from os import fspath
    path = fspath(file_path)
    if not isinstance(path, str):
        raise TypeError("file_path must be a str or an os.PathLike of str, not "
                        f"{type(file_path).__name__}")
    width = 0 if n_digits is None else _width(n_digits)
    choices = None if columns is None else _choices(columns)
    return path, width, choices


def read_plot(file_path, n_digits=None, *, columns=None, block_headers=False):
    """Reads a TOLVERA plot file into a Plot of float32 columns.

    file_path: a str or os.PathLike. n_digits: the width of a data field (12 or 15 as the
    simulation writes them; any width from 1); None takes it from the first data line.
    columns: the parameters to read, by position and/or name, in that order; all when None.
    block_headers: keep each block's header line in plot.block_headers.

    A file that cannot be opened or read raises the OSError that open() would; malformed content
    raises PlotFormatError (a ValueError) naming the line and field; a name or position that is
    not in the file raises KeyError or IndexError.
    """
    path, width, choices = _arguments(file_path, n_digits, columns)
    title, names, arrays, blocks, headers = _read_plot(path, width, choices, bool(block_headers))
    return Plot(path, title, names, arrays, blocks, headers)


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
        return f"{self.msg} ({self.filename!r})"

    def __reduce__(self):
        return type(self), (self.msg, self.filename, self.errno)


class Follower:
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
                raise ValueError(f"read of a closed follower of {self.file_path!r}")
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
                return Plot(self.file_path, title, names, arrays, blocks, headers)
            if self._nothing_new is None:
                from array import array
                self._nothing_new = Plot(self.file_path, self._title, self._names,
                                         [array("f") for _ in self._names], 0,
                                         [] if self._block_headers else None)
            return self._nothing_new

    @property
    def closed(self):
        return self._handle is None

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

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

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
