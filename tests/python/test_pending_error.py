"""The debug description of a pending error, as fatal failure messages of the binding show it."""

import traceback
import unittest

import conversion_probe

ESCAPES = {'"': '\\"', "\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n", "\0": "\\0"}


def quoted(text):
    return '"' + "".join(ESCAPES.get(c, c) for c in text) + '"'


def raised(exception):
    try:
        raise exception
    except BaseException as caught:
        return caught


class DebugDescriptionTest(unittest.TestCase):
    def test_without_traceback(self):
        self.assertEqual(conversion_probe.describe(ValueError("bad")),
                         "PyErr { type: <class 'ValueError'>, value: ValueError('bad'), "
                         "traceback: None }")

    def test_with_traceback_quoted(self):
        error = raised(KeyError('say "\\x"\tnow'))
        text = "".join(traceback.format_tb(error.__traceback__))
        self.assertIn("\n", text)
        self.assertEqual(conversion_probe.describe(error),
                         f"PyErr {{ type: {KeyError!r}, value: {error!r}, "
                         f"traceback: Some({quoted(text)}) }}")


if __name__ == "__main__":
    unittest.main()
