"""The columns as Python sees them: shapes, exact widened values, and the two column routes."""

import math
import struct
import sys
import unittest

import conversion_probe
import korvane
from support import TempFiles, plot_text, run_child

read = korvane.rust_read_tolvera
PYPY = sys.implementation.name == "pypy"


def bits(value):
    return struct.unpack("<Q", struct.pack("<d", value))[0]


def widened_bits(pattern):
    """The double of a 32-bit pattern, worked out field by field; NaNs come out quiet."""
    sign = (pattern >> 31) << 63
    exponent = (pattern >> 23) & 0xFF
    fraction = pattern & 0x7FFFFF
    if exponent == 0xFF:
        quiet = (1 << 51) if fraction else 0
        return sign | (0x7FF << 52) | quiet | (fraction << 29)
    if exponent == 0:
        if fraction == 0:
            return sign
        shift = 0
        while not fraction & 0x800000:
            fraction <<= 1
            shift += 1
        return sign | ((1 - 127 - shift + 1023) << 52) | ((fraction & 0x7FFFFF) << 29)
    return sign | ((exponent - 127 + 1023) << 52) | (fraction << 29)


class ShapesTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()

    def tearDown(self):
        self.files.cleanup()

    def test_columns_and_blocks(self):
        for params, blocks in [(0, 0), (0, 3), (1, 0), (1, 1), (3, 2), (10, 2), (11, 3), (25, 1)]:
            with self.subTest(params=params, blocks=blocks):
                rows = [[f"{p}.{b}" for p in range(params)] for b in range(blocks)]
                names = [f"P{p}" for p in range(params)]
                data = read(self.files.write(plot_text(rows, names=names)), 12)
                self.assertIs(type(data), list)
                self.assertEqual(len(data), params)
                for p, column in enumerate(data):
                    self.assertIs(type(column), list)
                    self.assertEqual(column, [float(struct.unpack("<f", struct.pack(
                        "<f", float(f"{p}.{b}")))[0]) for b in range(blocks)])
                    for value in column:
                        self.assertIs(type(value), float)

    def test_columns_are_fresh_lists(self):
        path = self.files.write(plot_text([["1", "2"]]))
        first, second = read(path, 12), read(path, 12)
        self.assertIsNot(first[0], second[0])
        first[0].append(3.0)
        self.assertEqual(read(path, 12), [[1.0], [2.0]])


# A child that imports korvane while the array module cannot be imported, reads, then reads
# again once it can; it prints what each read gave.
WITHOUT_ARRAY = """
import sys
sys.modules["array"] = None
import korvane

def outcome():
    try:
        return korvane.rust_read_tolvera(PATH, 12)
    except korvane.PanicException as failure:
        return ("PanicException", str(failure))

print(repr(outcome()))
del sys.modules["array"]
print(repr(outcome()))
print(repr(outcome()))
"""


class ReplacedModulesTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.path = self.files.write(plot_text([["1", "2"]]))

    def tearDown(self):
        self.files.cleanup()

    def test_reads_after_the_first_do_not_depend_on_sys_modules(self):
        read(self.path, 12)
        saved = sys.modules.get("array")
        try:
            sys.modules["array"] = None
            self.assertEqual(read(self.path, 12), [[1.0], [2.0]])
        finally:
            sys.modules["array"] = saved

    def test_import_needs_no_array_module(self):
        # Only PyPy's route goes through array: there the first read fails as a call does, and
        # the next one, the module importable again, prepares the route and succeeds.
        values = [[1.0], [2.0]]
        first = ("PanicException", "PyObject pointer is null") if PYPY else values
        code, out, err = run_child(f"PATH = {self.path!r}\n" + WITHOUT_ARRAY)
        self.assertEqual(code, 0, err[-3000:])
        self.assertEqual(out.decode().splitlines(), [repr(first), repr(values), repr(values)])


class ExactValuesTest(unittest.TestCase):
    # (field text, bits of the expected double)
    CASES = [
        ("0.1", 0x3FB99999A0000000),
        ("1.00000E-01", 0x3FB99999A0000000),
        ("-0.0", 0x8000000000000000),
        ("0.0", 0x0000000000000000),
        ("1.40130E-45", 0x36A0000000000000),
        ("-1E-45", 0xB6A0000000000000),
        ("3.40282E+38", 0x47EFFFFDC0000000),
        ("inf", 0x7FF0000000000000),
        ("-inf", 0xFFF0000000000000),
        ("1E39", 0x7FF0000000000000),
        ("nan", 0x7FF8000000000000),
        ("-nan", 0xFFF8000000000000),
    ]

    def test_widened_bits(self):
        files = TempFiles()
        try:
            row = [text for text, _ in self.CASES]
            data = read(files.write(plot_text([row, row])), 12)
        finally:
            files.cleanup()
        for (text, expected), column in zip(self.CASES, data):
            with self.subTest(text=text):
                self.assertEqual([hex(bits(v)) for v in column], [hex(expected)] * 2)

    def test_point_one_is_the_exact_double_of_its_float(self):
        files = TempFiles()
        try:
            self.assertEqual(read(files.write(plot_text([["0.1"]])), 12), [[0.10000000149011612]])
        finally:
            files.cleanup()


class ColumnRoutesTest(unittest.TestCase):
    """Both ways of turning a column into a list give the same doubles, bit for bit."""

    PATTERNS = [
        0x00000000, 0x80000000, 0x00000001, 0x80000001, 0x007FFFFF, 0x00400000, 0x00800000,
        0x3DCCCCCD, 0x3F800000, 0x7F7FFFFF, 0xFF7FFFFF, 0x7F800000, 0xFF800000,
        0x7FC00000, 0xFFC00000, 0x7FC00001, 0x7FFFFFFF, 0xFFD2345F,
        0x7F800001, 0xFF800001, 0x7FBFFFFF,
    ]

    def test_bulk_and_per_value_agree_with_the_field_by_field_widening(self):
        packed = struct.pack(f"<{len(self.PATTERNS)}I", *self.PATTERNS)
        bulk, per_value = conversion_probe.widen(packed)
        self.assertIs(type(bulk), list)
        for pattern, from_bulk, from_per_value in zip(self.PATTERNS, bulk, per_value):
            with self.subTest(pattern=hex(pattern)):
                self.assertIs(type(from_bulk), float)
                self.assertEqual(hex(bits(from_bulk)), hex(widened_bits(pattern)))
                self.assertEqual(hex(bits(from_per_value)), hex(widened_bits(pattern)))
        self.assertEqual(len(bulk), len(self.PATTERNS))
        self.assertEqual(len(per_value), len(self.PATTERNS))

    def test_runs_of_equal_values_keep_each_value_exact(self):
        # Values that compare equal but differ in bits (zeros, NaN payloads) stay apart.
        patterns = [0x3F800000] * 3 + [0x00000000, 0x80000000, 0x80000000, 0x00000000,
                                       0x7FC00000, 0x7FC00001, 0x7FC00001, 0xFFC00000]
        packed = struct.pack(f"<{len(patterns)}I", *patterns)
        for route in conversion_probe.widen(packed):
            self.assertEqual([hex(bits(v)) for v in route],
                             [hex(widened_bits(p)) for p in patterns])

    def test_long_and_empty_columns(self):
        for count in [0, 1, 1000, 100003]:
            with self.subTest(count=count):
                packed = struct.pack(f"<{count}f", *[k * 0.5 for k in range(count)])
                bulk, per_value = conversion_probe.widen(packed)
                self.assertEqual(bulk, [k * 0.5 for k in range(count)])
                self.assertEqual(per_value, bulk)

    def test_columns_of_one_and_of_changing_lengths(self):
        # The bulk route carries every column of one length through one array: each column's
        # list holds its own values, not those of the column before it, whatever the lengths.
        special = self.PATTERNS
        for lengths in [[5, 5, 5], [5, 0, 5, 3, 3, 5], [0, 0], [len(special)] * 2, []]:
            with self.subTest(lengths=lengths):
                patterns = [[special[(c * 7 + k) % len(special)] for k in range(length)]
                            for c, length in enumerate(lengths)]
                packed = [struct.pack(f"<{len(p)}I", *p) for p in patterns]
                bulk, per_value = conversion_probe.widen_all(packed)
                expected = [[hex(widened_bits(p)) for p in column] for column in patterns]
                for route in (bulk, per_value):
                    self.assertEqual([[hex(bits(v)) for v in column] for column in route],
                                     expected)

    def test_widening_reference_itself(self):
        # The reference agrees with the interpreter for ordinary values.
        for value in [0.1, -2.5, 1e-40, 3e38, math.inf]:
            pattern = struct.unpack("<I", struct.pack("<f", value))[0]
            self.assertEqual(widened_bits(pattern),
                             bits(struct.unpack("<f", struct.pack("<f", value))[0]))


if __name__ == "__main__":
    unittest.main()
