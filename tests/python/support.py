"""Plot files in a temporary directory and child interpreters for the korvane tests."""

import os
import subprocess
import sys
import tempfile
import textwrap

# Seconds after which a child or a worker is taken to hang: far beyond the slowest run seen,
# which a sanitizer build on a loaded machine is.
HANG = 900


def plot_text(rows, width=12, names=None):
    """A plot file with one block per row; each row holds one value text per parameter."""
    count = len(rows[0]) if rows else len(names or [])
    names = names if names is not None else [f"P{i}" for i in range(count)]
    lines = [f" TOLVERA test file {len(names)}"] + [f" {name}" for name in names]
    for block, row in enumerate(rows):
        lines.append(f" TIME = {block}")
        for first in range(0, len(row), 10):
            lines.append("".join(value.rjust(width) for value in row[first:first + 10]))
    return "\n".join(lines) + "\n"


def random_plot(rng, params, blocks, width=12):
    """A plot file of random values in the simulation's layout, with names P0, P1, ..."""
    form = "{:12.5E}" if width == 12 else "{:15.8E}"
    rows = [[form.format(rng.uniform(-1e3, 1e3) * 10.0 ** rng.randint(-30, 30))
             for _ in range(params)] for _ in range(blocks)]
    return plot_text(rows, width)


class TempFiles:
    """Files written for one test case, removed with their directory by cleanup()."""

    def __init__(self):
        self._dir = tempfile.TemporaryDirectory(prefix="korvane-test-")

    def write(self, text, name="plot.txt"):
        path = os.path.join(self._dir.name, name)
        with open(path, "wb") as out:
            out.write(text.encode("utf-8") if isinstance(text, str) else text)
        return path

    def path(self, name):
        return os.path.join(self._dir.name, name)

    def cleanup(self):
        self._dir.cleanup()


def with_address_space_left(more, code):
    """Code for a child that imports korvane, then runs code with its address space limited to
    `more` bytes beyond what it uses by then."""
    return f"""import korvane, resource
with open("/proc/self/status") as status:
    size = next(int(l.split()[1]) for l in status if l.startswith("VmSize:")) * 1024
resource.setrlimit(resource.RLIMIT_AS, (size + {more}, size + {more}))
""" + textwrap.dedent(code)


def run_child(code, env=None):
    """Runs code in a fresh interpreter; returns (returncode, stdout bytes, stderr bytes)."""
    child_env = dict(os.environ)
    child_env.pop("RUST_BACKTRACE", None)
    child_env.update(env or {})
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          env=child_env, timeout=HANG)
    return done.returncode, done.stdout, done.stderr


def run_in_session(test, command, what):
    """Runs command in a session of its own, failing test when it fails or hangs: a hanging
    child is ended with every process it started. Returns what it printed."""
    import os
    import signal
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             start_new_session=True)
    try:
        log, _ = child.communicate(timeout=HANG)
    except subprocess.TimeoutExpired:
        os.killpg(child.pid, signal.SIGKILL)
        log, _ = child.communicate()
        test.fail(f"{what} did not finish in {HANG} s:\n" + log.decode(errors="replace"))
    test.assertEqual(child.returncode, 0, log.decode(errors="replace"))
    return log
