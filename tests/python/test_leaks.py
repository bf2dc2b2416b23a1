"""Repeated calls, good and failing, leave the process's memory flat."""

import os
import sys
import unittest

import korvane
from support import TempFiles, plot_text, run_child

# The child warms up (PyPy's heap and JIT settle within the first rounds), then measures its
# resident memory over rounds of calls of one kind; a reference kept per call (a list of 400
# floats, an exception with its message) would add megabytes to every round.
CHILD = """
import gc, os, sys, korvane
read = korvane.rust_read_tolvera

class Index:
    def __index__(self):
        return 12

KINDS = {
    "good": lambda: read(GOOD, 12),
    "good_keywords": lambda: read(n_digits=Index(), file_path=GOOD),
    "missing_file": lambda: read(MISSING, 12),
    "empty_file": lambda: read(EMPTY, 12),
    "bad_field": lambda: read(BAD_FIELD, 12),
    "bad_path_type": lambda: read(7, 12),
    "bad_width_type": lambda: read(GOOD, 1.5),
    "overflow": lambda: read(GOOD, 2**40),
    "binding": lambda: read(GOOD, 12, bogus=1),
}

def resident_bytes():
    for _ in range(3):
        gc.collect()
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

def exercise(call, times):
    for _ in range(times):
        try:
            call()
        except BaseException:
            pass

call = KINDS[KIND]
exercise(call, 20000)
growth = []
for _ in range(4):
    before = resident_bytes()
    exercise(call, 10000)
    growth.append(resident_bytes() - before)
print(*growth)
"""

# The heap still grows in steps now and then after the warm-up; a leak grows it in every round.
# So one of the last three rounds at least must stay below what 10000 leaked floats would take.
ALLOWED_GROWTH = 256 * 1024


def child_environment():
    """Under the address sanitizer, freed memory must not wait in its quarantine."""
    if not os.environ.get("KORVANE_SANITIZED"):
        return {}
    options = os.environ.get("ASAN_OPTIONS", "")
    return {"ASAN_OPTIONS": options + ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0"}


class LeakTest(unittest.TestCase):
    def test_memory_stays_flat(self):
        files = TempFiles()
        try:
            rows = [[f"{p}.{b}E-01" for p in range(20)] for b in range(20)]
            paths = {
                "GOOD": files.write(plot_text(rows), "good.txt"),
                "MISSING": files.path("missing.txt"),
                "EMPTY": files.write("", "empty.txt"),
                "BAD_FIELD": files.write(plot_text([["1.0", "x"]]), "bad.txt"),
            }
            setup = "".join(f"{name} = {path!r}\n" for name, path in paths.items())
            for kind in ["good", "good_keywords", "missing_file", "empty_file", "bad_field",
                         "bad_path_type", "bad_width_type", "overflow", "binding"]:
                with self.subTest(kind=kind):
                    code, out, err = run_child(setup + f"KIND = {kind!r}\n" + CHILD,
                                               child_environment())
                    self.assertEqual(code, 0, err[-2000:])
                    growth = [int(part) for part in out.split()]
                    self.assertLess(min(growth[1:]), ALLOWED_GROWTH, growth)
        finally:
            files.cleanup()


# The child reads one file in a loop, dropping each result, and prints its resident memory after
# each call. Without a collection forced, what it holds between calls is what a program reading
# files in a loop holds.
LOOP_CHILD = """
import os, korvane

def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

for _ in range(CALLS):
    data = korvane.rust_read_tolvera(PATH, 12)
    del data
    print(resident_bytes())
"""


class ResultMemoryTest(unittest.TestCase):
    def test_a_loop_of_calls_holds_few_results(self):
        params, blocks, calls = 100, 2400, 200
        files = TempFiles()
        try:
            rows = [[f"{(p * blocks + b) % 997}.5E-03" for p in range(params)]
                    for b in range(blocks)]
            path = files.write(plot_text(rows))
            code, out, err = run_child(f"PATH = {path!r}\nCALLS = {calls}\n" + LOOP_CHILD,
                                       child_environment())
        finally:
            files.cleanup()
        self.assertEqual(code, 0, err[-2000:])
        resident = [int(line) for line in out.split()]
        self.assertEqual(len(resident), calls)
        # A result's lists take a double per value. A collector that frees each dropped result
        # within a collection or two stays within a few; one that lets them pile up climbs by
        # dozens of them.
        result_bytes = params * blocks * 8
        self.assertLess(max(resident) - resident[0], 12 * result_bytes,
                        [round(figure / result_bytes, 1) for figure in resident[::20]])


class Index:
    def __index__(self):
        return 12


@unittest.skipUnless(hasattr(sys, "getrefcount"), "this interpreter counts no references")
class ReferenceCountTest(unittest.TestCase):
    """A reference kept to an argument costs no memory; its count shows it."""

    def setUp(self):
        self.files = TempFiles()
        rows = [[f"{p}.{b}E-01" for p in range(3)] for b in range(4)]
        # Built at run time: a literal would be shared with the code object and immortal-looking.
        self.good = "".join([self.files.write(plot_text(rows), "good.txt")])
        self.missing = "".join([self.files.path("missing.txt")])
        self.bad = "".join([self.files.write(plot_text([["1.0", "x"]]), "bad.txt")])

    def tearDown(self):
        self.files.cleanup()

    def test_arguments_keep_their_counts(self):
        width, fraction, huge, stranger = Index(), 1.5, 2**40, object()
        read = korvane.rust_read_tolvera
        calls = {
            "good": (lambda: read(self.good, width), [self.good, width]),
            "keywords": (lambda: read(n_digits=width, file_path=self.good), [self.good, width]),
            "missing_file": (lambda: read(self.missing, width), [self.missing, width]),
            "bad_field": (lambda: read(self.bad, width), [self.bad, width]),
            "bad_path_type": (lambda: read(stranger, width), [stranger, width]),
            "bad_width_type": (lambda: read(self.good, fraction), [self.good, fraction]),
            "overflow": (lambda: read(self.good, huge), [self.good, huge]),
            "binding": (lambda: read(self.good, width, bogus=stranger), [self.good, stranger]),
        }
        for kind, (call, arguments) in calls.items():
            with self.subTest(kind=kind):
                before = [sys.getrefcount(argument) for argument in arguments]
                for _ in range(10):
                    try:
                        call()
                    except BaseException:
                        pass
                self.assertEqual([sys.getrefcount(argument) for argument in arguments], before)

    def test_result_objects_are_owned_once(self):
        columns = korvane.rust_read_tolvera(self.good, 12)
        # getrefcount's own argument adds one: each object is held by its container alone.
        self.assertEqual(sys.getrefcount(columns), 2)
        counts = {sys.getrefcount(columns[i]) for i in range(len(columns))}
        counts |= {sys.getrefcount(columns[i][j])
                   for i in range(len(columns)) for j in range(len(columns[i]))}
        self.assertEqual(counts, {2})


if __name__ == "__main__":
    unittest.main()


# The child reads a file whose first block (ten one-byte fields) is no guide to the rest: a
# header line of HEADER bytes follows. The address space is limited to what the child has plus
# a few times that line, which the reader needs to gather it; room taken for the columns by the
# first block's measure would be ten times the line's size.
NARROW_FIRST_BLOCK_CHILD = """
import resource, korvane
with open("/proc/self/status") as status:
    size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
limit = size + 4 * HEADER
resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
columns = korvane.rust_read_tolvera(PATH, 1)
print(len(columns), [len(column) for column in columns][:2], flush=True)
"""


@unittest.skipIf(os.environ.get("KORVANE_SANITIZED"), "the sanitizers reserve the address space")
class AddressSpaceTest(unittest.TestCase):
    def test_a_short_first_block_reserves_no_more_than_the_file_holds(self):
        header = 30 << 20
        files = TempFiles()
        self.addCleanup(files.cleanup)
        first_block = " T\n" + "1" * 10 + "\n"
        text = (" title 10\n" + "".join(f" P{i}\n" for i in range(10)) + first_block +
                " " + "x" * header + "\n" + "2" * 10 + "\n")
        path = files.write(text)
        code, out, err = run_child(f"PATH = {path!r}\nHEADER = {header}\n" +
                                   NARROW_FIRST_BLOCK_CHILD)
        self.assertEqual((code, out), (0, b"10 [2, 2]\n"), err[-2000:])
