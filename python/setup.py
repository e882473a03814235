"""Builds the package for pip: the binding module and the engine library come from the project's
CMake build (the repository around this directory), and both go into the package, so that the
installed package needs nothing else of the project.

VESKOR_CMAKE_BUILD_DIR names an existing build directory to take them from (it is brought up to
date); otherwise a build directory of its own is configured under setuptools' build_temp.
VESKOR_SETUP_WORK_DIR moves setuptools' own build and egg-info directories out of the source tree.
"""

import glob
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if not os.path.exists(os.path.join(SOURCE_DIR, "CMakeLists.txt")):
            raise RuntimeError(f"the Veskor sources are expected around {HERE}")
        build_dir = os.environ.get("VESKOR_CMAKE_BUILD_DIR") or os.path.join(os.path.abspath(self.build_temp), "cmake")
        if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
            import pybind11

            generator = ["-G", "Ninja"] if shutil.which("ninja") else []
            subprocess.check_call(["cmake", "-S", SOURCE_DIR, "-B", build_dir, *generator,
                                   "-DCMAKE_BUILD_TYPE=Release", f"-DPython_EXECUTABLE={sys.executable}",
                                   f"-Dpybind11_DIR={pybind11.get_cmake_dir()}"])
        subprocess.check_call(["cmake", "--build", build_dir, "--target", "veskor_python",
                               "-j", str(os.cpu_count() or 1)])
        # The install step writes the module with its installed run path, which looks beside it.
        stage = os.path.join(os.path.abspath(self.build_temp), "stage")
        shutil.rmtree(stage, ignore_errors=True)
        subprocess.check_call(["cmake", "--install", build_dir, "--component", "python", "--prefix", stage])
        modules = glob.glob(os.path.join(stage, "**", "veskor", "_core*.so"), recursive=True)
        if len(modules) != 1:
            raise RuntimeError(f"expected one installed module in {stage}, found {modules}")
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(modules[0], target)
        shutil.copy2(os.path.join(build_dir, "lib", "libveskoreng.so"), os.path.dirname(target))


options = {}
if os.environ.get("VESKOR_SETUP_WORK_DIR"):
    work = os.environ["VESKOR_SETUP_WORK_DIR"]
    options = {"build": {"build_base": os.path.join(work, "build")}, "egg_info": {"egg_base": work}}

setup(ext_modules=[Extension("veskor._core", sources=[])], cmdclass={"build_ext": CMakeBuild}, options=options)
