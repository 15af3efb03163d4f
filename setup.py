"""The build behind `pip install .`: the compiled part of `contribution` comes
from the project's CMake build (target _contribution), the pure-Python
modules from python/contribution.

CMake builds in build-pip/ beside this file (kept, so a second install
rebuilds only what changed), or in CONTRIBUTION_CMAKE_BUILD_DIR; setuptools'
own scratch files go there too, so the source tree stays clean. Extra CMake
options: CONTRIBUTION_CMAKE_ARGS (split on blanks). ccache is used when
installed.
"""

import os
import pathlib
import shlex
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = pathlib.Path(__file__).resolve().parent
# Relative to the source tree, as setuptools wants for its own directories.
BUILD = pathlib.Path(os.environ.get("CONTRIBUTION_CMAKE_BUILD_DIR") or SOURCE / "build-pip")


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    """Configures (once) and builds the CMake target of the extension module."""

    def build_extension(self, ext):
        build = BUILD.resolve()
        configure = ["cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DCS_BUILD_TESTS=OFF", "-DCS_WITH_MPI=OFF", f"-DPython3_EXECUTABLE={sys.executable}"]
        if shutil.which("ccache"):
            configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        configure += shlex.split(os.environ.get("CONTRIBUTION_CMAKE_ARGS", ""))
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        try:
            subprocess.run(configure, check=True)
            subprocess.run(["cmake", "--build", str(build), "--target", "contribution_python", "-j", jobs], check=True)
        except FileNotFoundError:
            sys.exit("pip install: cmake not found; run scripts/install-deps (Debian packages) first")
        except subprocess.CalledProcessError as e:
            sys.exit(f"pip install: the CMake build failed ({' '.join(e.cmd[:3])} ...); "
                     "scripts/install-deps installs what it needs")
        suffix = sysconfig.get_config_var("EXT_SUFFIX")
        built = build / "python" / "contribution" / f"_contribution{suffix}"
        if not built.exists():
            sys.exit(f"pip install: the build gave no {built.name} in {built.parent} for {sys.executable}")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


# Without build isolation pip builds with the environment's own modules: an
# interpreter other than Debian's (a pyenv python3) lacks them.
for module, package in (("wheel", "python3-wheel"), ("numpy", "python3-numpy")):
    try:
        __import__(module)
    except ImportError:
        sys.exit(f"pip install: {sys.executable} cannot import {module}. Make the environment from Debian's "
                 f"interpreter, /usr/bin/python3 -m venv --system-site-packages env, after scripts/install-deps "
                 f"(which installs {package})")

BUILD.mkdir(parents=True, exist_ok=True)
setup(
    packages=["contribution"],
    package_dir={"contribution": os.path.relpath(SOURCE / "python" / "contribution")},
    ext_modules=[CMakeExtension("contribution._contribution")],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(BUILD / "setuptools")}, "egg_info": {"egg_base": str(BUILD)}},
    zip_safe=False,
)
