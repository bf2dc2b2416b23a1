# korvane-stubs/__init__.pyi: the types of the korvane extension module, for type checkers
__all__ = ["rust_read_tolvera"]

def rust_read_tolvera(file_path: str, n_digits: int) -> list[list[float]]:
    """Reads a TOLVERA plot file whose data fields are n_digits bytes wide (12 or 15) and returns
    one list of values per parameter, in file order. Every failure raises PanicException."""

class PanicException(BaseException):
    """Raised by every failure to open, read or parse a plot file: args holds the message alone;
    __notes__, when the failure concerns a line, says where in the file it is."""
