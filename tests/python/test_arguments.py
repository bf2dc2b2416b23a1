"""Binding of rust_read_tolvera's arguments and the messages of wrong calls."""

import unittest

import korvane
from support import TempFiles, plot_text

read = korvane.rust_read_tolvera


class Index:
    """An object that is not an int but has an integer index."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Text(str):
    pass


class BindingMessagesTest(unittest.TestCase):
    # (positional arguments, keyword arguments, message); paths name no file, so any binding
    # that got through would fail with a PanicException instead.
    CASES = [
        ((), {}, "rust_read_tolvera() missing 2 required positional arguments: "
                 "'file_path' and 'n_digits'"),
        (("p",), {}, "rust_read_tolvera() missing 1 required positional argument: 'n_digits'"),
        ((), {"n_digits": 12},
         "rust_read_tolvera() missing 1 required positional argument: 'file_path'"),
        (("p", 12, 3), {}, "rust_read_tolvera() takes 2 positional arguments but 3 were given"),
        (("p", 12, 3), {"bogus": 1},
         "rust_read_tolvera() takes 2 positional arguments but 3 were given"),
        (("p", 12), {"file_path": "q"},
         "rust_read_tolvera() got multiple values for argument 'file_path'"),
        (("p",), {"n_digits": 1, "bogus": 2},
         "rust_read_tolvera() got an unexpected keyword argument 'bogus'"),
        ((), {"bogus": 2}, "rust_read_tolvera() got an unexpected keyword argument 'bogus'"),
        ((), {"File_path": "p", "n_digits": 1},
         "rust_read_tolvera() got an unexpected keyword argument 'File_path'"),
        ((), {"\udc80": 2},
         "rust_read_tolvera() got an unexpected keyword argument '\ufffd\ufffd\ufffd'"),
        ((None, 12), {}, "argument 'file_path': 'None' is not an instance of 'str'"),
        ((b"p", 12), {}, "argument 'file_path': 'bytes' object is not an instance of 'str'"),
        ((7, 12), {}, "argument 'file_path': 'int' object is not an instance of 'str'"),
        ((7, "x"), {}, "argument 'file_path': 'int' object is not an instance of 'str'"),
        (("p", 1.5), {},
         "argument 'n_digits': 'float' object cannot be interpreted as an integer"),
        (("p", "12"), {}, "argument 'n_digits': 'str' object cannot be interpreted as an integer"),
    ]

    def test_type_errors(self):
        for args, kwargs, message in self.CASES:
            with self.subTest(args=args, kwargs=kwargs):
                with self.assertRaises(TypeError) as caught:
                    read(*args, **kwargs)
                self.assertIs(type(caught.exception), TypeError)
                self.assertEqual(str(caught.exception), message)
                self.assertEqual(caught.exception.args, (message,))

    def test_restated_type_error_has_no_cause(self):
        with self.assertRaises(TypeError) as caught:
            read(7, 12)
        self.assertIsNone(caught.exception.__cause__)

    def test_restated_type_error_keeps_the_cause(self):
        root = KeyError("root")

        class Failing:
            def __index__(self):
                raise TypeError("no index") from root

        with self.assertRaises(TypeError) as caught:
            read("p", Failing())
        self.assertEqual(str(caught.exception), "argument 'n_digits': no index")
        self.assertIs(caught.exception.__cause__, root)

    def test_other_errors_pass_unchanged(self):
        class Failing:
            def __index__(self):
                raise ValueError("from __index__")

        with self.assertRaises(ValueError) as caught:
            read("p", Failing())
        self.assertEqual(str(caught.exception), "from __index__")

    def test_overflow_errors(self):
        narrowing = "out of range integral type conversion attempted"
        for value, message in [(2**32, narrowing), (2**64 - 1, narrowing),
                               (Index(2**32), narrowing), (-1, None), (2**64, None)]:
            with self.subTest(value=value):
                with self.assertRaises(OverflowError) as caught:
                    read("p", value)
                if message is None:
                    self.assertFalse(str(caught.exception).startswith("argument"))
                else:
                    self.assertEqual(str(caught.exception), message)

    def test_unpaired_surrogate_path(self):
        with self.assertRaises(UnicodeEncodeError):
            read("plot\udc80.txt", 12)


class AcceptedArgumentsTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.path = self.files.write(plot_text([["1.5"]], width=4), "plot.txt")

    def tearDown(self):
        self.files.cleanup()

    def test_positional_and_keyword_forms_bind_alike(self):
        for args, kwargs in [((self.path, 4), {}), ((), {"file_path": self.path, "n_digits": 4}),
                             ((self.path,), {"n_digits": 4}),
                             ((), {"n_digits": 4, "file_path": self.path})]:
            with self.subTest(args=args, kwargs=kwargs):
                self.assertEqual(read(*args, **kwargs), [[1.5]])

    def test_path_as_str_subclass(self):
        self.assertEqual(read(Text(self.path), 4), [[1.5]])

    def test_width_conversions(self):
        # A one-character field "7": width 1 reads it, width 0 cuts an empty field, a huge
        # width names its end offset in the slicing message.
        path = self.files.write(plot_text([["7"]], width=1), "narrow.txt")
        for width in [True, 1, Index(1)]:
            with self.subTest(width=width):
                self.assertEqual(read(path, width), [[7.0]])
        for width, part in [(0, "Could not parse line: ParseFloatError { kind: Empty }"),
                            (2**32 - 1, "4294967295"), (Index(2**32 - 1), "4294967295")]:
            with self.subTest(width=width):
                with self.assertRaises(BaseException) as caught:
                    read(path, width)
                self.assertEqual(type(caught.exception).__name__, "PanicException")
                self.assertIn(part, str(caught.exception))

    def test_bad_path_reported_before_bad_width(self):
        with self.assertRaises(TypeError) as caught:
            read(None, None)
        self.assertEqual(str(caught.exception),
                         "argument 'file_path': 'None' is not an instance of 'str'")


if __name__ == "__main__":
    unittest.main()
