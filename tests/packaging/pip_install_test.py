"""pip builds korvane from a copy of its sources into fresh virtual environments, once for each
interpreter named on the command line and for a different python3 first on PATH (such as
pyenv's): without downloads, without setuptools' wheel package, leaving the
sources as they were, and with wheel tags the interpreter accepts."""

import json
import os
import pathlib
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "tests" / "python"
# This test writes nothing into the sources either, but the pip builds it runs may write
# bytecode wherever they would on a machine that does not forbid it.
sys.dont_write_bytecode = True
ENVIRONMENT = {name: value for name, value in os.environ.items()
               if name != "PYTHONDONTWRITEBYTECODE"}
sys.path.insert(0, str(ROOT / "backend"))
import korvane_build  # noqa: E402  (the backend pip runs, for the source archive)

# Run inside each virtual environment: what the installed module and its metadata say.
PROBE = """
import importlib.metadata, json, sys, korvane
from pip._vendor.packaging import tags
wheel = importlib.metadata.distribution("korvane").read_text("WHEEL")
try:
    korvane.rust_read_tolvera(sys.argv[1] + "/nonexistent.plt", 12)
except korvane.PanicException as failure:
    message = str(failure)
print(json.dumps({
    "module": korvane.__file__,
    "prefix": sys.prefix,
    "wheel_tags": [line[5:] for line in wheel.splitlines() if line.startswith("Tag: ")],
    "supported": [str(tag) for tag in tags.sys_tags()],
    "columns": len(korvane.rust_read_tolvera(sys.argv[1] + "/samples/plot_w12.txt", 12)),
    "failure": message,
    "versions": [korvane.__version__, importlib.metadata.version("korvane")],
    "names": len(korvane.read_plot(sys.argv[1] + "/samples/plot_w12.txt").names),
}))
"""

# Run inside an environment that sees Debian's xarray: the engine its entry point declares opens
# a sample as read_plot reads it, and importing korvane imported no xarray.
XARRAY_PROBE = """
import json, sys, korvane
imported_early = "xarray" in sys.modules
import xarray
path = sys.argv[1] + "/samples/plot_w12.txt"
dataset = xarray.open_dataset(path, engine="korvane")
plot = korvane.read_plot(path)
print(json.dumps({
    "module": korvane.__file__,
    "prefix": sys.prefix,
    "imported_early": imported_early,
    "engine": "korvane" in xarray.backends.list_engines(),
    "same": [variable.values.tobytes() == plot.columns[variable.attrs["position"]].tobytes()
             for variable in dataset.data_vars.values()],
    "names": len(plot.names),
}))
"""


def sees_xarray(interpreter):
    """Whether the interpreter imports xarray from its own site packages."""
    return subprocess.run([interpreter, "-c", "import xarray"], capture_output=True,
                          env=ENVIRONMENT).returncode == 0


def interpreters():
    """The interpreters to build for, each once, by the real path of its executable."""
    named = sys.argv[1:]
    on_path = shutil.which("python3")
    found = {}
    for interpreter in named + ([on_path] if on_path else []):
        real = subprocess.run([interpreter, "-c", "import sys; print(sys.executable)"],
                              capture_output=True, text=True, check=True).stdout.strip()
        found.setdefault(os.path.realpath(real), interpreter)
    return list(found.values())


def run(command, **options):
    done = subprocess.run([str(part) for part in command], capture_output=True, text=True,
                          timeout=1800, env=ENVIRONMENT, **options)
    if done.returncode != 0:
        raise AssertionError(f"{command} failed:\n{done.stdout}\n{done.stderr}")
    return done.stdout


def mypy_reads(python):
    """Whether Debian's mypy (1.0) can inspect the environment of python: it runs a script of
    its own under that interpreter, which fails on CPython 3.12 and newer."""
    newer = run([python, "-c", "import sys; print(sys.version_info >= (3, 12))"]).strip()
    return newer == "False"


def snapshot(folder):
    """Every folder under folder, and every file with its size and modification time."""
    return sorted((str(path.relative_to(folder)), path.stat().st_size, path.stat().st_mtime_ns)
                  if path.is_file() else (str(path.relative_to(folder)),)
                  for path in folder.rglob("*"))


class PipInstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="korvane-pip-"))
        archive = korvane_build.build_sdist(str(cls.work))
        with tarfile.open(cls.work / archive) as sources:
            sources.extractall(cls.work)
        cls.sources = cls.work / archive[:-len(".tar.gz")]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def fresh_environment(self, interpreter, name):
        venv = self.work / name
        run([interpreter, "-m", "venv", venv])
        return venv / "bin" / "python"

    def check_installed(self, python, wheel_tag=None):
        """The module imports from the environment, reads and fails as it should, and was
        installed from a wheel whose tag the interpreter accepts; the sources stay as they were."""
        before = snapshot(self.sources)
        facts = json.loads(run([python, "-c", PROBE, self.sources], cwd=self.work))
        self.assertTrue(facts["module"].startswith(facts["prefix"]), facts["module"])
        self.assertEqual(len(facts["wheel_tags"]), 1)
        self.assertIn(facts["wheel_tags"][0], facts["supported"])
        if wheel_tag is not None:
            self.assertEqual(facts["wheel_tags"], [wheel_tag])
        with open(self.sources / "samples" / "plot_w12.txt", encoding="utf-8") as sample:
            count = int(sample.readline().split()[-1])
        self.assertEqual((facts["columns"], facts["names"]), (count, count))
        self.assertEqual(facts["versions"][0], facts["versions"][1])
        self.assertTrue(facts["failure"].startswith("Plot file not found!"), facts["failure"])
        # The console script and python -m korvane run the same command line.
        sample = self.sources / "samples" / "plot_w12.txt"
        shown = run([pathlib.Path(python).parent / "korvane", "info", sample], cwd=self.work)
        self.assertIn(f"parameters: {count}\n", shown)
        self.assertEqual(run([python, "-m", "korvane", "info", sample], cwd=self.work), shown)
        self.assertEqual(snapshot(self.sources), before)

    def check_xarray_engine(self, interpreter, pip):
        """pip install into an environment that sees the interpreter's site packages: xarray
        finds the engine through the wheel's entry point."""
        venv = self.work / "xarray"
        run([interpreter, "-m", "venv", "--system-site-packages", venv])
        python = venv / "bin" / "python"
        run([python, *pip, "install", "--no-index", "--no-build-isolation", self.sources])
        facts = json.loads(run([python, "-c", XARRAY_PROBE, self.sources], cwd=self.work))
        self.assertTrue(facts["module"].startswith(facts["prefix"]), facts["module"])
        self.assertFalse(facts["imported_early"])
        self.assertTrue(facts["engine"])
        self.assertEqual(facts["same"], [True] * facts["names"])

    def check_types(self, python):
        """mypy finds the installed stub package through the environment's interpreter."""
        def mypy(example):
            return subprocess.run(["mypy", "--python-executable", python, "--cache-dir",
                                   os.devnull, "--no-error-summary", example], cwd=EXAMPLES,
                                  capture_output=True, text=True, timeout=900, env=ENVIRONMENT)

        accepted, rejected = mypy("typed_example.py"), mypy("typed_wrong_calls.py")
        self.assertEqual((accepted.returncode, accepted.stdout), (0, ""))
        self.assertEqual(rejected.returncode, 1)
        self.assertIn('incompatible type "bytes"; expected "str"', rejected.stdout)

    def test_install_and_wheel(self):
        found = interpreters()
        self.assertGreaterEqual(len(found), 2, found)
        pip = ["-m", "pip", "--disable-pip-version-check", "--no-cache-dir"]
        typed = False
        # pip install . with all but the last interpreter, with build isolation and without in
        # turn: neither needs anything downloaded.
        for index, interpreter in enumerate(found[:-1]):
            isolation = [] if index % 2 == 0 else ["--no-build-isolation"]
            with self.subTest(interpreter=interpreter, isolation=isolation):
                python = self.fresh_environment(interpreter, f"install-{index}")
                before = snapshot(self.sources)
                run([python, *pip, "install", "--no-index", *isolation, self.sources])
                self.assertEqual(snapshot(self.sources), before)
                self.check_installed(python)
                if not typed and shutil.which("mypy") and mypy_reads(python):
                    self.check_types(python)
                    typed = True
        with_xarray = [interpreter for interpreter in found if sees_xarray(interpreter)]
        if with_xarray:
            with self.subTest(interpreter=with_xarray[0], xarray=True):
                self.check_xarray_engine(with_xarray[0], pip)
        # pip wheel with the last, often a CPython whose environment lacks the wheel package.
        interpreter = found[-1]
        with self.subTest(interpreter=interpreter, command="wheel"):
            wheels = self.work / "wheels"
            python = self.fresh_environment(interpreter, "wheel")
            before = snapshot(self.sources)
            run([python, *pip, "wheel", "--no-index", "--no-build-isolation", "-w", wheels,
                 self.sources])
            self.assertEqual(snapshot(self.sources), before)
            built = [path.name for path in wheels.iterdir()]
            self.assertEqual(len(built), 1, built)
            run([python, *pip, "install", "--no-index", wheels / built[0]])
            self.check_installed(python, wheel_tag=built[0][:-len(".whl")].split("-", 2)[2])

    def test_source_archive(self):
        """The archive holds the project's files, and no cache, build or package at any depth:
        the same files as git's list where there is one, and a copy of the sources with such
        things put in at several depths gives the same archive."""
        def members(archive):
            with tarfile.open(archive) as sources:
                return sorted(name.split("/", 1)[1] for name in sources.getnames())

        packed = members(self.work / (self.sources.name + ".tar.gz"))
        listed = shutil.which("git") and subprocess.run(
            ["git", "-C", ROOT, "ls-files", "--cached", "--others", "--exclude-standard", "-z"],
            capture_output=True, text=True)
        if listed and listed.returncode == 0:
            tracked = [name for name in listed.stdout.split("\0") if (ROOT / name).is_file()]
            self.assertEqual(packed, sorted(tracked + ["PKG-INFO"]))

        copy = self.work / "planted"
        shutil.copytree(self.sources, copy)
        for name in ["__pycache__/x.cpython-311.pyc", "backend/__pycache__/korvane_build.pyc",
                     "tests/python/__pycache__/support.pypy39.pyc", "src/stray.pyc",
                     "korvane-0.1.0-cp311-cp311-linux_x86_64.whl", "bench/x-pp39.whl",
                     "build-pypy/CMakeCache.txt", "dist/korvane-0.1.0.tar.gz",
                     "bench/data/plot0.txt", "backend/korvane.egg-info/PKG-INFO", ".git/HEAD"]:
            (copy / name).parent.mkdir(parents=True, exist_ok=True)
            (copy / name).write_text("not a source\n")
        archives = self.work / "planted-archive"
        archives.mkdir()
        made = run([sys.executable, "-c", "import sys, korvane_build; "
                    "print(korvane_build.build_sdist(sys.argv[1]))", archives],
                   cwd=copy / "backend").strip()
        self.assertEqual(members(archives / made), packed)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
