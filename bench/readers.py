"""What the whole-file benchmarks share: the plain-Python reader they hold the module against,
and the child interpreter each reader runs in.

The plain reader does the module's work with readline, slicing, float() and one array('f') per
column, turned into lists at the end, so that both give the same 32-bit values as lists of floats.
"""

import array
import json
import os
import subprocess
import sys

BENCH = os.path.dirname(os.path.abspath(__file__))


def plain_read(path, width):
    with open(path, "r", encoding="utf-8") as lines:
        count = int(lines.readline().split()[-1])
        for _ in range(count):
            lines.readline()
        columns = [array.array("f") for _ in range(count)]
        while lines.readline():
            for first in range(0, count, 10):
                line = lines.readline()
                for j in range(min(10, count - first)):
                    columns[first + j].append(float(line[j * width:(j + 1) * width]))
    return [column.tolist() for column in columns]


def run_child(code, *arguments):
    """Runs code in a child of this interpreter, which can import this file as readers; returns
    the JSON of the last line it prints."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [BENCH, env.get("PYTHONPATH")]))
    done = subprocess.run([sys.executable, "-c", code, *map(str, arguments)],
                          capture_output=True, text=True, check=True, env=env)
    return json.loads(done.stdout.strip().splitlines()[-1])
