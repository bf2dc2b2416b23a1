"""The korvane command: a look at plot files from the shell.

    korvane info FILE...                      what a file holds, from its index alone
    korvane show FILE [--columns] [--blocks]  a table of values, the last 10 blocks by default
    korvane convert FILE OUT [--columns] [--blocks]   to .csv, .npz or .nc (by OUT's suffix)
    korvane plot FILE --columns ... -o OUT.png [--time FIELD]

Built on read_plot and open_plot alone. A failure is one line on standard error and exit
status 1. Long work draws a progress bar on standard error when it is a terminal.
"""

import argparse
import os
import re
import struct
import sys
import threading
import time

import korvane

# Seconds of work before the progress bar shows; the environment can set it (0: at once).
PROGRESS_DELAY = "KORVANE_PROGRESS_DELAY"
# Blocks read per step of a read that shows progress.
STEPS = 50


class Failure(Exception):
    """A failure of the command's own, reported as its message."""


def float32_text(value):
    """The shortest decimal text that reads back as the same 32-bit float."""
    if value != value or value in (float("inf"), float("-inf")):
        return repr(value)
    packed = struct.pack("<f", value)
    for digits in range(1, 10):
        text = f"{value:.{digits}g}"
        if struct.pack("<f", float(text)) == packed:
            return text
    return repr(value)


def compression_of(path):
    """gzip, zstd or none, as the reader tells it: by the file's first bytes."""
    with open(path, "rb") as file:
        start = file.read(4)
    if start[:2] == b"\x1f\x8b":
        return "gzip"
    if start == b"\x28\xb5\x2f\xfd":
        return "zstd"
    return "none"


def block_selection(text):
    """--blocks: a slice START:STOP[:STEP] or numbers separated by commas, from 0, negative
    ones counting from the end."""
    try:
        if ":" in text:
            parts = [int(part) if part.strip() else None for part in text.split(":")]
            if len(parts) > 3:
                raise ValueError
            return slice(*parts)
        return [int(part) for part in text.split(",")]
    except ValueError:
        raise argparse.ArgumentTypeError(
            f"not a block selection: {text!r} (START:STOP[:STEP] or N,N,...)") from None


def column_list(text):
    """--columns: names or positions separated by commas."""
    chosen = []
    for part in text.split(","):
        part = part.strip()
        chosen.append(int(part) if re.fullmatch(r"-?\d+", part) else part)
    return chosen


def block_numbers(selection, count):
    """The block numbers, from 0, that a selection stands for."""
    if selection is None:
        return list(range(count))
    if isinstance(selection, slice):
        return list(range(count))[selection]
    numbers = []
    for number in selection:
        if not -count <= number < count:
            raise IndexError(f"block {number} is out of range: the file has {count} blocks")
        numbers.append(number % count)
    return numbers


class Progress:
    """A bar on standard error for work that lasts beyond the delay, when it is a terminal."""

    def __init__(self, what, total):
        self.what, self.total, self.done = what, max(total, 1), 0
        self.shown = False
        self.on = sys.stderr.isatty()
        self.delay = float(os.environ.get(PROGRESS_DELAY, "1"))
        self.start = time.monotonic()
        self.stop = threading.Event()
        self.lock = threading.Lock()
        self.timer = None
        if self.on:
            # A step that lasts long (one read of a compressed file) still shows the time.
            self.timer = threading.Thread(target=self._tick, daemon=True)
            self.timer.start()

    def _tick(self):
        while not self.stop.wait(max(self.delay, 0.01) if not self.shown else 0.5):
            self.draw()

    def advance(self, steps=1):
        self.done += steps
        self.draw()

    def draw(self):
        if not self.on:
            return
        elapsed = time.monotonic() - self.start
        if elapsed < self.delay:
            return
        with self.lock:
            if self.stop.is_set() and self.done < self.total:
                return
            filled = 30 * self.done // self.total
            bar = "#" * filled + "." * (30 - filled)
            sys.stderr.write(f"\r{self.what} [{bar}] {100 * self.done // self.total:3d}%"
                             f" {elapsed:5.1f}s")
            sys.stderr.flush()
            self.shown = True

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def close(self):
        self.stop.set()
        if self.timer is not None:
            self.timer.join()
        if self.shown:
            sys.stderr.write("\n")
            sys.stderr.flush()


def opened(path):
    """open_plot(path), with a progress bar while it indexes: a large compressed file takes a
    while."""
    with Progress(f"indexing {os.path.basename(path)}", 1) as progress:
        plot_file = korvane.open_plot(path)
        progress.advance()
    return plot_file


def read_blocks(path, columns, selection, block_headers=False):
    """A Plot of the chosen columns and blocks, read in steps that move the progress bar; in one
    read when the file is compressed (each read decompresses from the start)."""
    with opened(path) as plot_file:
        numbers = block_numbers(selection, plot_file.blocks)
        steps = [numbers]
        if compression_of(path) == "none" and len(numbers) > STEPS:
            size = -(-len(numbers) // STEPS)
            steps = [numbers[i:i + size] for i in range(0, len(numbers), size)]
        parts = []
        with Progress(f"reading {os.path.basename(path)}", len(steps)) as progress:
            for step in steps:
                parts.append(plot_file.read(columns, blocks=step, block_headers=block_headers))
                progress.advance()
    first = parts[0]
    for part in parts[1:]:
        for column, more in zip(first.columns, part.columns):
            column.extend(more)
        if block_headers:
            first.block_headers.extend(part.block_headers)
    first.blocks = len(numbers)
    return first, numbers


def info(arguments):
    for number, path in enumerate(arguments.files):
        with opened(path) as plot_file:
            blocks = plot_file.blocks
            ends = plot_file.read([], blocks=[0, -1] if blocks else [], block_headers=True)
            lines = [f"file: {path}",
                     f"title: {plot_file.title}",
                     f"parameters: {len(plot_file.names)}",
                     f"names: {' '.join(plot_file.names)}",
                     f"width: {plot_file.width}",
                     f"blocks: {blocks}",
                     f"size: {os.path.getsize(path)} bytes",
                     f"compression: {compression_of(path)}"]
            if blocks:
                lines += [f"first block: {ends.block_headers[0]}",
                          f"last block: {ends.block_headers[-1]}"]
        if number:
            print()
        print("\n".join(lines))


def show(arguments):
    plot, numbers = read_blocks(arguments.file, arguments.columns, arguments.blocks)
    header = ["block"] + list(plot.names)
    rows = [[str(n)] + [float32_text(column[i]) for column in plot.columns]
            for i, n in enumerate(numbers)]
    widths = [max(len(row[k]) for row in [header] + rows) for k in range(len(header))]
    for row in [header] + rows:
        print("  ".join(cell.rjust(width) for cell, width in zip(row, widths)))


def convert(arguments):
    suffix = os.path.splitext(arguments.out)[1].lower()
    writers = {".csv": write_csv, ".npz": write_npz, ".nc": write_netcdf}
    if suffix not in writers:
        raise Failure(f"cannot tell the format of {arguments.out!r}: its suffix is not one of "
                      f"{', '.join(writers)}")
    plot, numbers = read_blocks(arguments.file, arguments.columns, arguments.blocks,
                                block_headers=True)
    writers[suffix](plot, numbers, arguments.out)


def write_csv(plot, numbers, out):
    import csv
    with open(out, "w", newline="", encoding="utf-8") as file:
        writer = csv.writer(file)
        writer.writerow(["block"] + list(plot.names))
        for i, number in enumerate(numbers):
            writer.writerow([number] + [float32_text(column[i]) for column in plot.columns])


def optional(module, purpose):
    import importlib
    try:
        return importlib.import_module(module)
    except ImportError:
        raise Failure(f"{purpose} needs {module}, which is not installed") from None


def write_npz(plot, numbers, out):
    numpy = optional("numpy", "writing .npz")
    arrays = {name: numpy.frombuffer(column, dtype=numpy.float32)
              for name, column in zip(plot.names, plot.columns)}
    arrays["block"] = numpy.array(numbers, dtype=numpy.int64)
    with open(out, "wb") as file:
        numpy.savez(file, **arrays)


def write_netcdf(plot, numbers, out):
    xarray = optional("xarray", "writing .nc")
    numpy = optional("numpy", "writing .nc")
    data = {name: ("block", numpy.frombuffer(column, dtype=numpy.float32))
            for name, column in zip(plot.names, plot.columns)}
    dataset = xarray.Dataset(data, coords={"block": numpy.array(numbers, dtype=numpy.int64)},
                             attrs={"title": plot.title})
    dataset.to_netcdf(out)


def header_time(header, field):
    """The number after FIELD (and an optional '=') in a block header."""
    match = re.search(rf"(?:^|\s){re.escape(field)}\s*=?\s*([-+]?[0-9.]+(?:[eEdD][-+]?\d+)?)",
                      header)
    if match is None:
        raise Failure(f"block header {header!r} holds no number after {field!r}")
    return float(match.group(1).replace("d", "e").replace("D", "e"))


def plot(arguments):
    read, numbers = read_blocks(arguments.file, arguments.columns, arguments.blocks,
                                block_headers=arguments.time is not None)
    x = numbers
    if arguments.time is not None:
        x = [header_time(header, arguments.time) for header in read.block_headers]
    matplotlib = optional("matplotlib", "korvane plot")
    matplotlib.use("Agg")
    import matplotlib.pyplot as pyplot
    figure, axes = pyplot.subplots(len(read.names), 1, sharex=True, squeeze=False,
                                   figsize=(7, 1.6 + 1.4 * len(read.names)))
    for axis, name, column in zip(axes[:, 0], read.names, read.columns):
        axis.plot(x, column, linewidth=1)
        axis.set_ylabel(name)
        axis.grid(True, alpha=0.3)
    axes[-1, 0].set_xlabel(arguments.time or "block")
    figure.suptitle(read.title or os.path.basename(arguments.file))
    figure.tight_layout()
    figure.savefig(arguments.output, dpi=100)
    pyplot.close(figure)


def parser():
    top = argparse.ArgumentParser(prog="korvane", description="A look at TOLVERA plot files "
                                  "(plain, gzip or zstd) from the shell.")
    commands = top.add_subparsers(dest="command", required=True, metavar="COMMAND")

    def selection(command, default=None, columns_required=False):
        command.add_argument("--columns", type=column_list, metavar="LIST",
                             required=columns_required,
                             help="parameters by name or position, separated by commas "
                                  "(default: all)")
        command.add_argument("--blocks", type=block_selection, default=default, metavar="SEL",
                             help="blocks from 0: START:STOP[:STEP] or N,N,... (default: "
                                  f"{'all' if default is None else '-10:'})")

    command = commands.add_parser("info", help="what a file holds, without reading its values",
                                  description="Title, parameters, width, blocks, size, "
                                  "compression and the first and last block header, from the "
                                  "index alone.")
    command.add_argument("files", nargs="+", metavar="FILE")
    command.set_defaults(run=info)

    command = commands.add_parser("show", help="a table of values",
                                  description="The chosen values as a table, one row a block.")
    command.add_argument("file", metavar="FILE")
    selection(command, slice(-10, None))
    command.set_defaults(run=show)

    command = commands.add_parser("convert", help="to CSV, NumPy (.npz) or netCDF (.nc)",
                                  description="Writes the chosen values to OUT, in the format "
                                  "its suffix names: .csv, .npz (numpy) or .nc (xarray).")
    command.add_argument("file", metavar="FILE")
    command.add_argument("out", metavar="OUT")
    selection(command)
    command.set_defaults(run=convert)

    command = commands.add_parser("plot", help="a picture of parameters over the blocks",
                                  description="One panel per chosen parameter, drawn with "
                                  "matplotlib, over the block number or a time taken from the "
                                  "block headers.")
    command.add_argument("file", metavar="FILE")
    selection(command, columns_required=True)
    command.add_argument("-o", "--output", required=True, metavar="OUT.png")
    command.add_argument("--time", metavar="FIELD",
                         help="the x axis: the number after FIELD in each block header "
                              "(e.g. TIME)")
    command.set_defaults(run=plot)
    return top


def message_of(error):
    if isinstance(error, KeyError) and error.args:
        return str(error.args[0])
    if isinstance(error, OSError) and error.filename is not None and error.strerror:
        return f"{error.filename}: {error.strerror}"
    return str(error)


def joined_blocks(argv):
    """argv with `--blocks -10:` written `--blocks=-10:`, which argparse would take for an
    option."""
    joined = []
    for word in argv:
        if joined and joined[-1] == "--blocks" and word.startswith("-"):
            joined[-1] = f"--blocks={word}"
        else:
            joined.append(word)
    return joined


def main(argv=None):
    arguments = parser().parse_args(joined_blocks(sys.argv[1:] if argv is None else argv))
    try:
        arguments.run(arguments)
    except KeyboardInterrupt:
        print(file=sys.stderr)
        return 130
    except BrokenPipeError:
        # A reader of the output that stopped early (head) is no failure; the output still
        # buffered goes nowhere.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 0
    except (Failure, korvane.PlotFormatError, OSError, LookupError, ValueError) as error:
        print(f"korvane: error: {message_of(error)}", file=sys.stderr)
        return 1
    return 0
