"""Builds the korvane extension module through the project's CMake build."""

import os
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


class CMakeExtension(Extension):
    """An extension whose sources CMake knows; setuptools compiles nothing itself."""

    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    """Configures and builds the module target for the running interpreter, then copies it."""

    def build_extension(self, ext):
        build_dir = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        flavour = "pypy" if sys.implementation.name == "pypy" else "cpython"
        subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                        "-DKORVANE_TESTS=OFF", f"-DKORVANE_{flavour.upper()}={sys.executable}"],
                       check=True)
        subprocess.run(["cmake", "--build", build_dir, "--target", f"korvane_{flavour}", "-j2"],
                       check=True)
        built = os.path.join(build_dir, flavour, "korvane" + sysconfig.get_config_var("EXT_SUFFIX"))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built, target)


setup(ext_modules=[CMakeExtension("korvane")], cmdclass={"build_ext": CMakeBuild})
