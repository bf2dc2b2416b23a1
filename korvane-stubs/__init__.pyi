# korvane-stubs/__init__.pyi: the types of the korvane extension module, for type checkers
import os
from array import array
from collections.abc import Iterable, Iterator
from typing import Any, Optional, Union

__all__ = [
    "rust_read_tolvera",
    "read_plot",
    "Plot",
    "PlotFormatError",
    "follow",
    "Follower",
    "FollowError",
    "open_plot",
    "PlotFile",
]
__version__: str

# What open() takes as a path, and what errors and plots keep of it (after os.fspath).
_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_PathText = Union[str, bytes]
# The blocks a read chooses: one block number, a slice, a range or block numbers (from 0; a
# negative one counts from the end).
_Blocks = Union[int, slice, range, Iterable[int]]

def rust_read_tolvera(file_path: str, n_digits: int) -> list[list[float]]:
    """Reads a TOLVERA plot file whose data fields are n_digits bytes wide (12 or 15) and returns
    one list of values per parameter, in file order. Every failure raises PanicException."""

class PanicException(BaseException):
    """Raised by every failure to open, read or parse a plot file: args holds the message alone;
    __notes__, when the failure concerns a line, says where in the file it is."""

def read_plot(
    file_path: _Path,
    n_digits: Optional[int] = None,
    *,
    columns: Optional[Iterable[Union[int, str]]] = None,
    block_headers: bool = False,
    blocks: Optional[_Blocks] = None,
    threads: Optional[int] = None,
) -> Plot:
    """Reads a TOLVERA plot file into a Plot of float32 columns. n_digits None takes the field
    width from the first data line; columns chooses parameters by position or name (a bool is
    refused). file_path is what open() takes, bytes included. A gzip or zstd file, told by its
    first bytes, is decompressed as it is read; line numbers are those of its text. threads: the
    threads that parse the file (None: the cores the process may use, for files large enough to
    gain; a compressed file is read by one). Raises
    OSError, PlotFormatError, KeyError, IndexError, MemoryError."""

class Plot:
    """The parameters read from a plot file, one array('f') per parameter. The constructor refuses
    fields that do not fit: a name per column, blocks values per column, blocks headers."""

    file_path: _PathText
    title: str
    names: tuple[str, ...]
    columns: list[array[float]]
    blocks: int
    block_headers: Optional[list[str]]
    def __init__(
        self,
        file_path: _PathText,
        title: str,
        names: Iterable[str],
        columns: Iterable[array[float]],
        blocks: int,
        block_headers: Optional[list[str]] = None,
    ) -> None: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[array[float]]: ...
    def __getitem__(self, key: Union[int, str]) -> array[float]: ...
    def index(self, name: str) -> int: ...
    def to_numpy(self) -> Any:
        """A 2-D numpy.float32 array, a row per parameter; the values of a threaded read come
        without a copy, shared with the Plot until its columns are asked for."""

class PlotFormatError(ValueError):
    """Malformed plot file content: msg, filename, lineno and field (from 1, or None)."""

    msg: str
    filename: Optional[_PathText]
    lineno: Optional[int]
    field: Optional[int]
    def __init__(
        self,
        msg: str,
        filename: Optional[_PathText] = None,
        lineno: Optional[int] = None,
        field: Optional[int] = None,
    ) -> None: ...

def follow(
    file_path: _Path,
    n_digits: Optional[int] = None,
    *,
    columns: Optional[Iterable[Union[int, str]]] = None,
    block_headers: bool = False,
) -> Follower:
    """Follows a plot file that a running simulation writes: read() returns a Plot of the blocks
    completed since the previous read. A compressed file raises FollowError at once."""

class Follower:
    """A plot file followed as it grows; a context manager that closes the file."""

    file_path: _PathText
    blocks: int
    @property
    def closed(self) -> bool: ...
    def read(self) -> Plot:
        """The blocks completed since the previous read; reads that find nothing new return one
        and the same empty Plot."""
    def close(self) -> None: ...
    def __enter__(self) -> Follower: ...
    def __exit__(self, *exception: object) -> None: ...

class FollowError(OSError):
    """A plot file that can no longer be followed, or cannot be at all: it shrank below what
    was read, was rewritten, another file (or none) is at its path, or it is no regular file.

    errno tells the cause and strerror is the system's text for it: the error of the call that
    failed, where one did (ENOENT: the file was removed); ESTALE where the file no longer holds
    what was read; ESPIPE for what cannot be read again from an offset. msg says why.
    """

    msg: str
    def __init__(
        self, msg: str, filename: Optional[_PathText] = None, errno: Optional[int] = None
    ) -> None: ...

def open_plot(file_path: _Path, n_digits: Optional[int] = None) -> PlotFile:
    """Opens a plot file to read parts of it: its head read, its complete blocks indexed. A
    compressed file is indexed in one pass; each read decompresses it up to the blocks asked."""

class PlotFile:
    """A plot file held open for reading any of its blocks; a context manager that closes it."""

    file_path: _PathText
    title: str
    names: tuple[str, ...]
    @property
    def blocks(self) -> int:
        """The number of complete blocks, counted again when the file has grown."""
    @property
    def width(self) -> Optional[int]: ...
    @property
    def closed(self) -> bool: ...
    def read(
        self,
        columns: Optional[Iterable[Union[int, str]]] = None,
        blocks: Optional[_Blocks] = None,
        block_headers: bool = False,
        threads: Optional[int] = None,
    ) -> Plot:
        """The chosen columns of the chosen blocks, in the order given; IndexError for a block
        out of range. threads as read_plot takes them."""
    def to_dask(
        self,
        chunks: Union[None, int, str, tuple[int, ...], list[int]] = None,
        *,
        columns: Optional[Iterable[Union[int, str]]] = None,
    ) -> Any:
        """A lazy dask.array of float32, parameters x blocks, chunked along blocks: about 128 MiB
        of values a chunk by default; blocks a chunk (int), values a chunk ("64 MiB"), or the
        chunks' block counts. Needs Dask and NumPy."""
    def close(self) -> None: ...
    def __enter__(self) -> PlotFile: ...
    def __exit__(self, *exception: object) -> None: ...

class XarrayBackend:
    """xarray's engine "korvane", found through the wheel's entry point:
    xarray.open_dataset(path, engine="korvane") opens a plot file lazily, a variable per parameter
    over the dimension block."""

    open_dataset_parameters: tuple[str, ...]
    description: str
    url: str
    def open_dataset(
        self,
        filename_or_obj: _Path,
        *,
        drop_variables: Union[None, str, Iterable[str]] = None,
        n_digits: Optional[int] = None,
        block_headers: bool = False,
    ) -> Any: ...
    def guess_can_open(self, filename_or_obj: object) -> bool: ...
