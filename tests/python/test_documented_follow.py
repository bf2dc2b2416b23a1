"""The README's follow example, run as written and with its plotting, while the test grows the
file: each line the example prints is followed by the next block, until the blocks run out."""

import os
import re
import subprocess
import sys
import unittest
from array import array

from support import HANG, TempFiles, plot_text

README = os.path.join(os.path.dirname(__file__), "..", "..", "README.md")
NAMES = [f"PARAM{i:04d}" for i in range(4)]
ROWS = [[f"{block}.{param}" for param in range(len(NAMES))] for block in range(5)]

# Runs the script named by argv[1] with each line it prints followed by the next of BLOCKS
# appended to run.plt, and with sleeps that return at once: the example's reads and the file's
# growth alternate the same way on every machine.
GROWING = """
import builtins, runpy, sys, time
blocks, print_line = BLOCKS, builtins.print
def print_and_grow(*args, **options):
    print_line(*args, **options)
    if blocks:
        with open("run.plt", "a") as out:
            out.write(blocks.pop(0))
builtins.print = print_and_grow
time.sleep = lambda seconds: None
runpy.run_path(sys.argv[1], run_name="__main__")
"""


def documented_example():
    with open(README, encoding="utf-8") as readme:
        section = readme.read().split("### Watching a run as it writes: `follow`", 1)[1]
    example = re.search(r"```python\n(.*?)```", section, re.DOTALL).group(1)
    plotting = re.search(r"add `(from matplotlib import pyplot)` and put\s+`(.*?)` in place of "
                         r"`(.*?)`", section, re.DOTALL)
    return example, plotting


class DocumentedFollowTest(unittest.TestCase):
    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)

    @staticmethod
    def environment():
        """This one, with the module's folders made absolute for a script run elsewhere, and
        matplotlib drawing into memory."""
        folders = os.environ.get("PYTHONPATH", "").split(os.pathsep)
        return dict(os.environ, MPLBACKEND="Agg", PYTHONPATH=os.pathsep.join(
            os.path.abspath(folder) for folder in folders if folder))

    def run_example(self, code):
        """What the example prints while the file grows from two blocks to five."""
        text = plot_text(ROWS, names=NAMES)
        head, *blocks = re.split(r"(?= TIME = )", text)
        self.files.write(head + "".join(blocks[:2]), "run.plt")
        script = self.files.write(code, "example.py")
        done = subprocess.run([sys.executable, "-c", GROWING.replace("BLOCKS", repr(blocks[2:])),
                               script], cwd=self.files.path(""), capture_output=True, text=True,
                              timeout=HANG, env=self.environment())
        self.assertEqual(done.returncode, 0, done.stderr[-3000:])
        return done.stdout

    def test_example_as_written_and_with_plotting(self):
        example, plotting = documented_example()
        self.assertIsNotNone(plotting, "the README names no way to plot")
        importing, drawing, sleeping = plotting.groups()
        # One read a block, then six reads that find nothing new; the values are float32.
        expected = "".join(f"{blocks} blocks, TIME {float(blocks - 1)}, "
                           f"PARAM0003 {array('f', [float(ROWS[blocks - 1][3])])[0]}\n"
                           for blocks in [2, 3, 4, 5] + [5] * 6)
        for name, code in [("as written", example),
                           ("plotting", importing + "\n" + example.replace(sleeping, drawing))]:
            with self.subTest(variant=name):
                if name == "plotting" and subprocess.run(
                        [sys.executable, "-c", "import matplotlib.pyplot"], capture_output=True,
                        timeout=HANG, env=self.environment()).returncode:
                    self.skipTest("matplotlib does not import under this interpreter")
                self.assertEqual(self.run_example(code), expected)

if __name__ == "__main__":
    unittest.main()
