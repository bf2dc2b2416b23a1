"""The protected region of an entry point and the failure trap behind it."""

import signal
import unittest

import conversion_probe
from support import run_child


class EntryGuardTest(unittest.TestCase):
    def test_caught_failure_becomes_panic_exception(self):
        with self.assertRaises(BaseException) as caught:
            conversion_probe.guarded("caught")
        self.assertEqual(type(caught.exception).__name__, "PanicException")
        self.assertEqual(caught.exception.args, ("probe failure",))

    def test_escaping_failures_abort_at_the_trap(self):
        for kind in ["foreign", "late"]:
            with self.subTest(kind=kind):
                code, out, err = run_child(f"""
                    import conversion_probe
                    try:
                        conversion_probe.guarded({kind!r})
                    except BaseException:
                        print("caught", flush=True)
                    """)
                self.assertEqual(code, -signal.SIGABRT, err)
                self.assertEqual(out, b"")
                self.assertIn(b"uncaught panic at ffi boundary", err)


if __name__ == "__main__":
    unittest.main()
