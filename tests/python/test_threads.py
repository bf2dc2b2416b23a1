"""Calls from several Python threads: the interpreter lock is free while a file is read."""

import ast
import os
import re
import struct
import sys
import threading
import unittest

import korvane
from support import TempFiles, plot_text, run_child

read = korvane.rust_read_tolvera

# A child that reads a FIFO whose writer is another Python thread of its own. While the reading
# thread held the interpreter lock in open() or read(), the writer could never run: the child
# hung until run_child's timeout ended it.
FIFO_CHILD = """
import os, threading, korvane
os.mkfifo(FIFO)
def write():
    with open(FIFO, "w") as out:
        out.write(TEXT)
writer = threading.Thread(target=write)
writer.start()
columns = korvane.rust_read_tolvera(FIFO, 12)
writer.join()
print(repr(columns), flush=True)
"""

# A daemon thread's read ends while the interpreter finalizes: the FIFO is fed and closed from a
# finalizer that then gives up the interpreter lock until the reading thread is gone. On CPython,
# a thread taking the lock back then is ended with pthread_exit, which aborted the process when it
# unwound through the call.
FINALIZING_CHILD = """
import os, threading, time, korvane
os.mkfifo(FIFO)
reader_ids = []
def read():
    reader_ids.append(threading.get_native_id())
    korvane.rust_read_tolvera(FIFO, 12)
threading.Thread(target=read, daemon=True).start()

class FeedOnFinalize:
    # Module globals may be gone when the finalizer runs: it keeps all it needs.
    def __init__(self):
        self.open, self.write, self.close, self.sleep = os.open, os.write, os.close, time.sleep
        self.exists, self.reader_ids = os.path.exists, reader_ids
        self.path, self.flags, self.data = FIFO, os.O_WRONLY, TEXT.encode()
    def __del__(self):
        # The FIFO opens once the reader has opened it too, so its id is known by then.
        out = self.open(self.path, self.flags)
        self.write(out, self.data)
        self.close(out)
        while self.exists(f"/proc/self/task/{self.reader_ids[0]}"):
            self.sleep(0.01)
        self.write(1, b"fed\\n")

# Objects of modules left in sys.modules are destroyed while the interpreter finalizes.
holder = type(os)("holder")
holder.feeder = FeedOnFinalize()
__import__("sys").modules["holder"] = holder
print("started", flush=True)
"""

# Daemon threads read in a loop while the main thread exits, once each has read the file: some
# are waiting to take the interpreter lock back when finalization begins, and CPython ends each
# with pthread_exit.
DAEMONS_AT_EXIT_CHILD = """
import threading, korvane
all_reading = threading.Barrier(5)
def loop():
    korvane.rust_read_tolvera(PATH, 12)
    all_reading.wait()
    while True:
        korvane.rust_read_tolvera(PATH, 12)
for _ in range(4):
    threading.Thread(target=loop, daemon=True).start()
all_reading.wait()
"""

# A thread that has never failed before reads a FIFO fed by the main thread. Once the reader
# holds all the values (it waits in a read of the drained pipe, and its columns need no growth),
# the address space is capped a little above its size and the FIFO closed: the reader finishes,
# and making its Python floats runs out of memory. One C library arena keeps the thread's allocations under the
# cap.
MEMORY_CHILD = """
import os, platform, resource, threading, time, korvane
if hasattr(__import__("sys"), "pypy_version_info"):
    # The JIT's own allocations under the cap would end PyPy before the C API can fail.
    import pypyjit
    pypyjit.set_param("off")

READ_SYSCALL = {"x86_64": "0", "aarch64": "63"}[platform.machine()]

def address_space():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmSize:"):
                return int(line.split()[1]) * 1024

def waits_in_read(thread_id, descriptors):
    # /proc's syscall line of a sleeping thread: the call's number, then its arguments.
    with open(f"/proc/self/task/{thread_id}/syscall") as call:
        number, first = (call.read().split() + ["", ""])[:2]
    return number == READ_SYSCALL and int(first, 16) in descriptors

def reading_ends(writing_end):
    # The descriptors of the FIFO this process holds, but the main thread's own.
    fifo, ends = os.stat(FIFO), set()
    for name in os.listdir("/proc/self/fd"):
        try:
            if os.path.samestat(os.stat(f"/proc/self/fd/{name}"), fifo):
                ends.add(int(name))
        except FileNotFoundError:  # the listing's own descriptor, closed by now
            pass
    return ends - {writing_end}

os.mkfifo(FIFO)
outcome, reader_ids = [], []
def read_fifo():
    reader_ids.append(threading.get_native_id())
    try:
        korvane.rust_read_tolvera(FIFO, 12)
        outcome.append("no failure")
    except BaseException as failure:
        outcome.append(type(failure).__name__ + ": " + str(failure))
reader = threading.Thread(target=read_fifo)
reader.start()
out = os.open(FIFO, os.O_WRONLY)
# sendfile leaves no buffers behind whose memory the floats could take under the cap.
source = os.open(SOURCE, os.O_RDONLY)
sent, size = 0, os.fstat(source).st_size
while sent < size:
    sent += os.sendfile(out, source, sent, size - sent)
os.close(source)
while not waits_in_read(reader_ids[0], reading_ends(out)):
    time.sleep(0.01)
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
# 2 MiB beyond what the process holds: room for an arena PyPy's collector may take meanwhile, a
# small part of the floats' memory.
resource.setrlimit(resource.RLIMIT_AS, (address_space() + (2 << 20), hard))
os.close(out)
reader.join()
resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
print(outcome[0], flush=True)
print(len(korvane.rust_read_tolvera(SMALL, 12)), flush=True)
"""


def distinct_rows(seed, blocks, params=20):
    """Rows of value texts that differ from file to file and from field to field."""
    return [[f"{seed}.{block % 97}{param:02d}E-0{param % 7}" for param in range(params)]
            for block in range(blocks)]


def read_in_threads(jobs):
    """Runs each job (a function of no arguments) on a thread of its own, all let go at once;
    returns what each returned or raised, in job order."""
    start = threading.Barrier(len(jobs))
    outcomes = [None] * len(jobs)

    def run(index):
        start.wait()
        try:
            outcomes[index] = jobs[index]()
        except BaseException as failure:
            outcomes[index] = failure

    threads = [threading.Thread(target=run, args=(i,)) for i in range(len(jobs))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return outcomes


class ConcurrentReadsTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()

    def tearDown(self):
        self.files.cleanup()

    def test_fifo_written_by_a_thread_of_the_same_process(self):
        rows = distinct_rows(3, 50)
        text = plot_text(rows)
        code, out, err = run_child(f"FIFO = {self.files.path('plot.fifo')!r}\n"
                                   f"TEXT = {text!r}\n" + FIFO_CHILD)
        self.assertEqual(code, 0, err[-2000:])
        self.assertEqual(out.decode(), repr(read(self.files.write(text), 12)) + "\n")

    @unittest.skipIf(hasattr(sys, "pypy_version_info"),
                     "PyPy runs no finalizers of live objects at exit")
    def test_read_ending_while_the_interpreter_finalizes(self):
        code, out, err = run_child(f"FIFO = {self.files.path('plot.fifo')!r}\n"
                                   f"TEXT = {plot_text(distinct_rows(5, 20))!r}\n" +
                                   FINALIZING_CHILD)
        self.assertEqual((code, out), (0, b"started\nfed\n"), err[-2000:])

    def test_exit_while_daemon_threads_read(self):
        # Whether a thread meets finalization on its way back is a race: many runs make it
        # likely that some do.
        path = self.files.write(plot_text(distinct_rows(3, 2000)))
        outcomes = [run_child(f"PATH = {path!r}\n" + DAEMONS_AT_EXIT_CHILD) for _ in range(25)]
        self.assertEqual([code for code, _, _ in outcomes], [0] * len(outcomes),
                         next((err[-2000:] for code, _, err in outcomes if code), b""))

    def test_threads_reading_at_once_get_what_one_thread_gets(self):
        paths = [self.files.write(plot_text(distinct_rows(seed, 3000)), f"plot{seed}.txt")
                 for seed in range(4)]
        one_after_another = [read(path, 12) for path in paths]
        for round_number in range(3):
            with self.subTest(round=round_number):
                at_once = read_in_threads([lambda path=path: read(path, 12) for path in paths])
                self.assertEqual(at_once, one_after_another)


class ConcurrentFailuresTest(unittest.TestCase):
    THREADS = 8
    REPORT = re.compile(r"\nthread '<unnamed>' \((\d+)\) panicked at [^\n]+:\d+:\d+:\n"
                        r"(The first line should end with the number of parameters:\n"
                        r"' count x\d+')\n"
                        r"(note: run with `RUST_BACKTRACE=1` environment variable to display a "
                        r"backtrace\n)?")

    def test_each_thread_raises_and_reports_its_own_failure(self):
        files = TempFiles()
        try:
            paths = [files.write(f" count x{i}\n", f"count{i}.txt") for i in range(self.THREADS)]
            code, out, err = run_child(f"""
                import threading, korvane
                from test_threads import read_in_threads
                def failing_read(path):
                    try:
                        korvane.rust_read_tolvera(path, 12)
                    except BaseException as failure:
                        return threading.get_native_id(), type(failure).__name__, str(failure)
                for outcome in read_in_threads([lambda p=p: failing_read(p) for p in {paths!r}]):
                    print(repr(outcome), flush=True)
                """)
        finally:
            files.cleanup()
        self.assertEqual(code, 0, err[-2000:])
        lines = out.decode().splitlines()
        notices = sorted(line for line in lines if line.startswith("Error: "))
        outcomes = [ast.literal_eval(line) for line in lines if not line.startswith("Error: ")]
        self.assertEqual(notices, sorted(f"Error: 'x{i}' is not a valid number of parameters!"
                                         for i in range(self.THREADS)))
        messages = [f"The first line should end with the number of parameters:\n' count x{i}'"
                    for i in range(self.THREADS)]
        self.assertEqual([(kind, message) for _, kind, message in outcomes],
                         [("PanicException", message) for message in messages])
        # Standard error holds whole reports only, each naming the thread that raised it.
        reports = list(self.REPORT.finditer(err.decode()))
        self.assertEqual("".join(report.group(0) for report in reports), err.decode())
        self.assertEqual(sorted((int(report.group(1)), report.group(2)) for report in reports),
                         sorted((thread_id, message) for thread_id, _, message in outcomes))
        self.assertEqual(sum(1 for report in reports if report.group(3)), 1)


def elf_thread_storage(path):
    """(size of the thread-local segment, whether the dynamic flags ask for static storage) of a
    64-bit little-endian ELF shared object."""
    with open(path, "rb") as elf:
        data = elf.read()
    program_headers, entry_size, count = struct.unpack_from("<Q14xHH", data, 0x20)
    tls_size, dynamic = 0, None
    for index in range(count):
        kind, _, offset, _, _, _, memory_size = struct.unpack_from(
            "<IIQQQQQ", data, program_headers + index * entry_size)
        if kind == 7:  # PT_TLS
            tls_size = memory_size
        elif kind == 2:  # PT_DYNAMIC
            dynamic = offset
    flags = 0
    while dynamic is not None:
        tag, value = struct.unpack_from("<qQ", data, dynamic)
        if tag == 0:  # DT_NULL
            break
        if tag == 30:  # DT_FLAGS
            flags = value
        dynamic += 16
    return tls_size, bool(flags & 0x10)  # DF_STATIC_TLS


class ThreadStorageTest(unittest.TestCase):
    def test_module_thread_storage_is_static(self):
        # Thread storage of a module loaded at run time is otherwise made by malloc when a thread
        # first touches it, and the C library ends the process when that malloc fails.
        tls_size, static = elf_thread_storage(korvane.__file__)
        self.assertTrue(tls_size == 0 or static, (tls_size, static))


class MemoryExhaustionTest(unittest.TestCase):
    @unittest.skipIf(os.environ.get("KORVANE_SANITIZED"),
                     "the address sanitizer reserves terabytes of shadow memory, far beyond any "
                     "address-space limit")
    def test_first_failure_of_a_new_thread_raises(self):
        files = TempFiles()
        try:
            # 20000 blocks: the columns' last growth (to 32768 values) is long done when the
            # reader takes the final lines from the pipe.
            rows = [["1.25E-01"] * 100] * 20000
            setup = (f"FIFO = {files.path('plot.fifo')!r}\n"
                     f"SOURCE = {files.write(plot_text(rows), 'large.txt')!r}\n"
                     f"SMALL = {files.write(plot_text(distinct_rows(1, 2)), 'small.txt')!r}\n")
            code, out, err = run_child(setup + MEMORY_CHILD, {"MALLOC_ARENA_MAX": "1"})
        finally:
            files.cleanup()
        self.assertEqual((code, out), (0, b"PanicException: PyObject pointer is null\n20\n"),
                         err[-2000:])


if __name__ == "__main__":
    unittest.main()
