"""The build backend pip uses for korvane: the project's CMake build, packed into a wheel.

It needs nothing beyond the standard library, cmake and a C++20 compiler: no setuptools and no
wheel package, so that pip builds it offline, with or without build isolation. The CMake build
runs in a temporary folder and the source tree is left as it was.
"""

import base64
import hashlib
import io
import os
import pathlib
import re
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile

# pip imports this module from the source folder, which a build leaves as it found it: nothing
# imported from here on is cached as bytecode, and the cache of this module itself, written
# before it ran, is removed again (with its folder, when that is left empty).
sys.dont_write_bytecode = True
if globals().get("__cached__"):
    try:
        os.remove(__cached__)
        os.rmdir(os.path.dirname(__cached__))
    except OSError:
        pass

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUBS = "korvane-stubs"
# What does not go into a source archive, as .gitignore has it: at the top, version control,
# builds and generated data, by path; at any depth, interpreter caches and packages, by name.
# The archive's PKG-INFO is written afresh, so an unpacked archive's own is left out.
NOT_SOURCES_AT_TOP = re.compile(r"^(\.git|build.*|dist|bench/data|PKG-INFO)$")
NOT_SOURCES_ANYWHERE = re.compile(r"^(__pycache__|.*\.pyc|.*\.whl|.*\.egg-info)$")
# The entry points the wheel declares, by group: the korvane command, and the xarray engine that
# xarray.open_dataset(..., engine="korvane") finds (korvane is imported only when xarray lists
# its engines).
ENTRY_POINTS = {"console_scripts": ["korvane = korvane.cli:main"],
                "xarray.backends": ["korvane = korvane:XarrayBackend"]}
# The command line's Python files, packed beside the module in the package korvane.
SHELL_FILES = ["__main__.py", "cli.py"]
# The [project] fields written into the metadata, with their names there.
METADATA_FIELDS = {"name": "Name", "version": "Version", "description": "Summary",
                   "requires-python": "Requires-Python"}


def project_table():
    """The string fields of pyproject.toml's [project] table, read strictly: any other line in
    the table is an error, so that a field this backend cannot carry is never dropped."""
    fields = {}
    in_project = False
    for line in (ROOT / "pyproject.toml").read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("["):
            in_project = line == "[project]"
            continue
        if in_project:
            match = re.fullmatch(r'([a-z-]+)\s*=\s*"([^"\\]*)"', line)
            if not match or match.group(1) not in METADATA_FIELDS:
                raise ValueError(f"pyproject.toml: [project] line not understood: {line!r}")
            fields[match.group(1)] = match.group(2)
    return fields


def metadata_text():
    """The core metadata, as METADATA in a wheel and PKG-INFO in a source archive."""
    project = project_table()
    lines = ["Metadata-Version: 2.1"]
    lines += [f"{METADATA_FIELDS[key]}: {value}" for key, value in project.items()]
    return "\n".join(lines) + "\n"


def distribution():
    """The name-version prefix of the archive and folder names."""
    project = project_table()
    return f"{project['name']}-{project['version']}"


def wheel_tag():
    """The running interpreter's tag, e.g. cp311-cp311-linux_x86_64 or pp39-pypy39_pp73-..."""
    name = sys.implementation.name
    version = f"{sys.version_info.major}{sys.version_info.minor}"
    soabi = sysconfig.get_config_var("SOABI")
    if name == "cpython":
        interpreter, abi = "cp" + version, "cp" + soabi.split("-")[1]
    elif name == "pypy":
        interpreter, abi = "pp" + version, soabi.replace("-", "_").replace(".", "_")
    else:
        raise RuntimeError(f"korvane builds for CPython and PyPy, not {name}")
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"{interpreter}-{abi}-{platform}"


def build_module(build_dir):
    """Builds the module for the running interpreter in build_dir; returns its path."""
    flavour = "pypy" if sys.implementation.name == "pypy" else "cpython"
    subprocess.run(["cmake", "-S", str(ROOT), "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                    "-DKORVANE_TESTS=OFF", f"-DKORVANE_{flavour.upper()}={sys.executable}"],
                   check=True, stdout=sys.stderr)
    subprocess.run(["cmake", "--build", build_dir, "--target", f"korvane_{flavour}",
                    "--parallel", str(os.cpu_count() or 1)], check=True, stdout=sys.stderr)
    return (pathlib.Path(build_dir) / flavour / "korvane"
            / ("__init__" + sysconfig.get_config_var("EXT_SUFFIX")))


def record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}\n"


def entry_points_text():
    """entry_points.txt: each group's entry points under its [group] line."""
    return "".join(f"[{group}]\n" + "".join(f"{entry}\n" for entry in entries) + "\n"
                   for group, entries in ENTRY_POINTS.items())


def dist_info_files(tag):
    """The .dist-info folder's files but RECORD, as (archive name, bytes) pairs."""
    dist_info = distribution() + ".dist-info"
    wheel = (f"Wheel-Version: 1.0\nGenerator: korvane_build\nRoot-Is-Purelib: false\n"
             f"Tag: {tag}\n")
    return [(f"{dist_info}/METADATA", metadata_text().encode()),
            (f"{dist_info}/WHEEL", wheel.encode()),
            (f"{dist_info}/entry_points.txt", entry_points_text().encode()),
            (f"{dist_info}/top_level.txt", b"korvane\n")]


def write_wheel(wheel_directory, module):
    """Packs the module, the type stubs and the metadata; returns the wheel's file name."""
    tag = wheel_tag()
    module_name = f"korvane/{module.name}"
    files = [(module_name, module.read_bytes())]
    files += [(f"korvane/{name}", (module.parent / name).read_bytes()) for name in SHELL_FILES]
    files += [(f"{STUBS}/{name}", (ROOT / STUBS / name).read_bytes())
              for name in ("__init__.pyi", "cli.pyi")]
    files += dist_info_files(tag)
    record_name = f"{distribution()}.dist-info/RECORD"
    record = "".join(record_line(name, data) for name, data in files) + f"{record_name},,\n"
    files.append((record_name, record.encode()))
    wheel_name = f"{distribution()}-{tag}.whl"
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w",
                         zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if name == module_name else 0o644) << 16
            wheel.writestr(info, data, zipfile.ZIP_DEFLATED)
    return wheel_name


def is_source(relative):
    """Whether a file or folder, named relative to the root, belongs to the project's sources."""
    return not (NOT_SOURCES_AT_TOP.match(relative.as_posix())
                or NOT_SOURCES_ANYWHERE.match(relative.name))


def source_files():
    """The project's files relative to the root, without builds, caches and packages."""
    for folder, subfolders, files in os.walk(ROOT):
        relative = pathlib.Path(folder).relative_to(ROOT)
        subfolders[:] = sorted(name for name in subfolders if is_source(relative / name))
        for name in sorted(files):
            if is_source(relative / name):
                yield relative / name


# The hooks pip calls.

def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    with tempfile.TemporaryDirectory(prefix="korvane-build-") as build_dir:
        return write_wheel(wheel_directory, build_module(build_dir))


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    for name, data in dist_info_files(wheel_tag()):
        path = pathlib.Path(metadata_directory) / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return distribution() + ".dist-info"


def build_sdist(sdist_directory, config_settings=None):
    archive_name = distribution() + ".tar.gz"
    with tarfile.open(os.path.join(sdist_directory, archive_name), "w:gz",
                      format=tarfile.PAX_FORMAT) as archive:
        for relative in source_files():
            archive.add(ROOT / relative, f"{distribution()}/{relative.as_posix()}", recursive=False)
        info = tarfile.TarInfo(f"{distribution()}/PKG-INFO")
        metadata = metadata_text().encode()
        info.size = len(metadata)
        archive.addfile(info, io.BytesIO(metadata))
    return archive_name
