# SPDX-License-Identifier: Zlib
"""Installs the quelt package: `pip install bindings/python` from the source tree.

The package carries the interface description it binds from: written here
from the tree's header by tools/quelt_api.py (or copied from QUELT_API_JSON),
so it always matches the header of the tree it was installed from.
"""
import os
import shutil
import subprocess
import sys

from setuptools import setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


class build_with_description(build_py):
    def run(self):
        super().run()
        target = os.path.join(self.build_lib, "quelt", "quelt-api.json")
        given = os.environ.get("QUELT_API_JSON")
        if given:
            shutil.copyfile(given, target)
            return
        subprocess.run([sys.executable, os.path.join(ROOT, "tools", "quelt_api.py"),
                        os.path.join(ROOT, "include", "quelt", "quelt.h"), "--json", target], check=True)


setup(
    name="quelt",
    version="1.1.0",
    description="Quelt, the real-time 3D engine for fixed-function OpenGL, from Python (ctypes over libQuelt.so.1)",
    license="Zlib",
    packages=["quelt"],
    python_requires=">=3.7",
    cmdclass={"build_py": build_with_description},
)
