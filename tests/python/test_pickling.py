"""A PanicException crossing process boundaries: pickle round trips and process pools."""

import concurrent.futures
import os
import pickle
import unittest

import korvane
from support import TempFiles, plot_text, run_child

NOT_FOUND = 'Plot file not found!: Os { code: 2, kind: NotFound, message: "' + os.strerror(2) + '" }'


def panic_of(path, width=12):
    try:
        korvane.rust_read_tolvera(path, width)
    except korvane.PanicException as failure:
        return failure
    raise AssertionError(f"reading {path!r} did not fail")


class PickleTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.failures = [
            panic_of(self.files.path("missing.txt")),
            panic_of(self.files.write(plot_text([["1.0", "x"]]))),
        ]

    def tearDown(self):
        self.files.cleanup()

    def assert_same_failure(self, copy, original):
        self.assertIs(type(copy), korvane.PanicException)
        self.assertEqual(copy.args, original.args)
        self.assertEqual(getattr(copy, "__notes__", None), getattr(original, "__notes__", None))

    def test_round_trip_keeps_type_args_and_note(self):
        for failure in self.failures:
            for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
                with self.subTest(message=str(failure), protocol=protocol):
                    self.assert_same_failure(pickle.loads(pickle.dumps(failure, protocol)),
                                             failure)
        self.assertTrue(hasattr(self.failures[1], "__notes__"))

    def test_another_process_that_imported_korvane_loads_it(self):
        pickled = pickle.dumps(self.failures[1])
        code, out, err = run_child(f"""
            import pickle, korvane
            failure = pickle.loads({pickled!r})
            print(type(failure) is korvane.PanicException, flush=True)
            print(repr(failure.args), flush=True)
            print(repr(failure.__notes__), flush=True)
            """)
        self.assertEqual(code, 0, err)
        expected = [True, self.failures[1].args, self.failures[1].__notes__]
        self.assertEqual(out.decode(), "".join(f"{item!r}\n" for item in expected))


class ProcessPoolTest(unittest.TestCase):
    def test_worker_failure_reaches_the_parent_as_itself(self):
        with concurrent.futures.ProcessPoolExecutor(max_workers=1) as pool:
            future = pool.submit(korvane.rust_read_tolvera, "/nonexistent/plot.txt", 12)
            with self.assertRaises(korvane.PanicException) as caught:
                future.result(timeout=120)
        self.assertEqual(caught.exception.args, (NOT_FOUND,))
        self.assertEqual(str(caught.exception), NOT_FOUND)


if __name__ == "__main__":
    unittest.main()
