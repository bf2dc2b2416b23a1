"""What an import of korvane provides, and module objects made from its definition."""

import importlib.util
import sys
import unittest

import korvane

SIGNATURE_PREFIX = "rust_read_tolvera(file_path, n_digits)\n--\n\n"

DOC_LINES = [
    "# Reads in the tolvera file.",
    "",
    "1. First opens the",
    "1. Gets the number of parameters",
    "1. Gets the parameter names",
    "1. Loops over the rest of the file",
    "",
    "## TOLVERA plot file shape",
    "The TOLVERA data is stored in blocks per timestep with a max width of 10 columns.",
    "There are 2 versions of the TOLVERA plot file:",
    "1. 6 digits of percision, n_digits=12",
    "1. 9 digits of precision, n_digits=15",
    "",
    "Parameters",
    "----------",
    "file_path: &str",
    "    the file path",
    "n_digits: usize",
    "    the width of a datafield",
    "",
    "Returns",
    "-------",
    "all_data: Vec<Vec<f32>>",
    "    the data stored in a vector of columns/vectors.",
]


def fresh_module(name="korvane", prepare=None):
    """A new module object from the extension's definition, its exec step run."""
    module_spec = importlib.util.spec_from_file_location(name, korvane.__file__)
    module = module_spec.loader.create_module(module_spec)
    if prepare is not None:
        prepare(module)
    module_spec.loader.exec_module(module)
    return module


# CPython's loader reads a str __name__ itself before the exec step runs and fails with its own
# SystemError, so the step's checks of the name are reachable on PyPy only.
needs_loader_without_name_check = unittest.skipIf(
    sys.implementation.name == "cpython",
    "CPython's loader rejects a missing or non-str __name__ before the exec step")


class ImportFactsTest(unittest.TestCase):
    def test_module_attributes(self):
        self.assertEqual(korvane.__all__, ["rust_read_tolvera", "read_plot", "Plot",
                                          "PlotFormatError", "follow", "Follower", "FollowError",
                                          "open_plot", "PlotFile"])
        self.assertIs(type(korvane.__all__), list)
        self.assertEqual(korvane.__doc__, "")
        self.assertEqual(korvane.__name__, "korvane")

    def test_function_identity(self):
        function = korvane.rust_read_tolvera
        self.assertEqual(function.__name__, "rust_read_tolvera")
        self.assertEqual(function.__module__, "korvane")
        self.assertEqual(function.__text_signature__, "(file_path, n_digits)")

    def test_function_self_is_the_module_where_exposed(self):
        # PyPy's C functions do not expose __self__; CPython's must, and it must be the module.
        function = korvane.rust_read_tolvera
        if sys.implementation.name != "cpython" and not hasattr(function, "__self__"):
            self.skipTest("this interpreter's C functions have no __self__")
        self.assertIs(function.__self__, korvane)

    def test_documentation_is_the_616_bytes_after_the_signature(self):
        expected_tail = "".join(line + "\n" for line in DOC_LINES)
        self.assertEqual(korvane.rust_read_tolvera.__doc__, expected_tail)
        self.assertEqual(len((SIGNATURE_PREFIX + expected_tail).encode()), 616)
        self.assertEqual(expected_tail.splitlines()[10], "1. 6 digits of percision, n_digits=12")


class ModuleObjectsTest(unittest.TestCase):
    def test_second_module_object_is_independent_and_works(self):
        first = fresh_module()
        second = fresh_module()
        self.assertIsNot(first.rust_read_tolvera, second.rust_read_tolvera)
        self.assertIsNot(first.__all__, second.__all__)
        for module in (first, second):
            with self.assertRaises(TypeError):
                module.rust_read_tolvera()

    def test_module_name_as_dictionary_holds_it(self):
        self.assertEqual(fresh_module("pkg.korvane").rust_read_tolvera.__module__, "pkg.korvane")

    def test_existing_all_list_is_kept_and_extended(self):
        def with_list(module):
            module.__all__ = ["earlier"]

        module = fresh_module(prepare=with_list)
        self.assertEqual(module.__all__, ["earlier", "rust_read_tolvera", "read_plot", "Plot",
                                          "PlotFormatError", "follow", "Follower", "FollowError",
                                          "open_plot", "PlotFile"])

    def test_all_of_the_wrong_type_fails_the_step(self):
        def with_tuple(module):
            module.__all__ = ("earlier",)

        with self.assertRaises(TypeError) as caught:
            fresh_module(prepare=with_tuple)
        self.assertEqual(str(caught.exception), "'tuple' object is not an instance of 'list'")

    @needs_loader_without_name_check
    def test_missing_name_fails_the_step(self):
        def without_name(module):
            del module.__name__

        with self.assertRaises(AttributeError) as caught:
            fresh_module(prepare=without_name)
        self.assertEqual(str(caught.exception), "__name__")

    @needs_loader_without_name_check
    def test_name_of_the_wrong_type_fails_the_step(self):
        def with_int_name(module):
            module.__name__ = 7

        with self.assertRaises(TypeError) as caught:
            fresh_module(prepare=with_int_name)
        self.assertEqual(str(caught.exception), "'int' object is not an instance of 'str'")


if __name__ == "__main__":
    unittest.main()
