"""The build backend behind `pip install .` (pyproject.toml), with nothing
to fetch: the wheel is the project's own CMake build of the Python package
for the interpreter running pip, packed by make_wheel.py; the source
archive is the files git tracks (or, outside a git checkout, the tree as
it is, build folders left out).

Needs CMake, a C++17 compiler, and pybind11 and the headers of that
interpreter (Debian: cmake g++ pybind11-dev python3-dev; scripts/setup.sh
installs them). Ninja is used when there is one. Settings
(`pip install -C NAME=VALUE`): build-dir keeps the CMake build in that
folder (relative to the source tree) instead of a temporary one.
"""

import io
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile

import make_wheel

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def version():
    """The project's version, from the top CMakeLists.txt."""
    with open(os.path.join(SOURCE_DIR, "CMakeLists.txt"), encoding="utf-8") as f:
        found = re.search(r"project\(\s*urdulex\s+VERSION\s+([0-9.]+)", f.read())
    return found.group(1)


def _run(command):
    print("+ " + " ".join(command), flush=True)
    subprocess.run(command, check=True)


def _pybind11_found(build_dir):
    with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("pybind11_DIR:"):
                return not line.rstrip().endswith("-NOTFOUND")
    return False


def _build_package(build_dir):
    """Configures and builds the package folder in BUILD_DIR; returns it."""
    configure = [
        "cmake", "-S", SOURCE_DIR, "-B", build_dir,
        "-DCMAKE_BUILD_TYPE=Release",
        "-DURDULEX_BUILD_TESTS=OFF",
        "-DURDULEX_BUILD_BENCHMARKS=OFF",
        "-DURDULEX_BUILD_FUZZERS=OFF",
        "-DURDULEX_BUILD_TOOLS=ON",
        "-DURDULEX_BUILD_PYTHON=ON",
        "-DURDULEX_SANITIZE=OFF",
        "-DURDULEX_SANITIZE_THREAD=OFF",
        "-DPython3_EXECUTABLE=" + sys.executable,
    ]
    if (not os.environ.get("CMAKE_GENERATOR") and shutil.which("ninja")
            and not os.path.exists(os.path.join(build_dir, "CMakeCache.txt"))):
        configure += ["-G", "Ninja"]
    _run(configure)
    if not _pybind11_found(build_dir):
        sys.exit("urdulex: CMake found no pybind11 and headers for %s "
                 "(Debian: apt-get install pybind11-dev python3-dev)"
                 % sys.executable)
    build = ["cmake", "--build", build_dir, "--target",
             "urdulex_python_package"]
    if not os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL"):
        build += ["--parallel", str(os.cpu_count() or 1)]
    _run(build)
    return os.path.join(build_dir, "python", "urdulex")


def build_wheel(wheel_directory, config_settings=None,
                metadata_directory=None):
    kept = (config_settings or {}).get("build-dir")
    if kept:
        build_dir = os.path.join(SOURCE_DIR, kept)
        return make_wheel.pack(_build_package(build_dir), version(),
                               wheel_directory)
    with tempfile.TemporaryDirectory(prefix="urdulex-build-") as build_dir:
        return make_wheel.pack(_build_package(build_dir), version(),
                               wheel_directory)


def prepare_metadata_for_build_wheel(metadata_directory,
                                     config_settings=None):
    info = "%s-%s.dist-info" % (make_wheel.NAME, version())
    os.makedirs(os.path.join(metadata_directory, info), exist_ok=True)
    for name, text in make_wheel.dist_info(version()).items():
        with open(os.path.join(metadata_directory, info, name), "w",
                  encoding="utf-8") as f:
            f.write(text)
    return info


def _source_files():
    """The files of the source archive, relative to SOURCE_DIR."""
    try:
        listed = subprocess.run(
            ["git", "-C", SOURCE_DIR, "ls-files", "-z"], check=True,
            capture_output=True).stdout.decode().split("\0")
        return sorted(f for f in listed
                      if f and os.path.lexists(os.path.join(SOURCE_DIR, f)))
    except (OSError, subprocess.CalledProcessError):
        pass
    files = []
    for root, dirs, names in os.walk(SOURCE_DIR):
        top = root == SOURCE_DIR
        dirs[:] = sorted(d for d in dirs if d not in (".git", "__pycache__")
                         and not (top and d.startswith("build")))
        relative = os.path.relpath(root, SOURCE_DIR)
        for name in names:
            if name.endswith(".pyc") or (top and name == "PKG-INFO"):
                continue
            files.append(os.path.normpath(os.path.join(relative, name)))
    return sorted(files)


def _owned_by_nobody(info):
    info.uid = info.gid = 0
    info.uname = info.gname = ""
    return info


def build_sdist(sdist_directory, config_settings=None):
    base = "%s-%s" % (make_wheel.NAME, version())
    archive = base + ".tar.gz"
    pkg_info = make_wheel.metadata(version()).encode()
    with tarfile.open(os.path.join(sdist_directory, archive), "w:gz",
                      format=tarfile.PAX_FORMAT) as tar:
        for name in _source_files():
            tar.add(os.path.join(SOURCE_DIR, name), arcname=base + "/" + name,
                    recursive=False, filter=_owned_by_nobody)
        info = _owned_by_nobody(tarfile.TarInfo(base + "/PKG-INFO"))
        info.size = len(pkg_info)
        info.mode = 0o644
        info.mtime = int(os.path.getmtime(
            os.path.join(SOURCE_DIR, "CMakeLists.txt")))
        tar.addfile(info, io.BytesIO(pkg_info))
    return archive


if __name__ == "__main__":
    # build_backend.py sdist [DIR]: writes the source archive into DIR
    # (default dist/), where no PEP 517 front end is at hand.
    if len(sys.argv) not in (2, 3) or sys.argv[1] != "sdist":
        sys.exit("usage: build_backend.py sdist [DIR]")
    out = sys.argv[2] if len(sys.argv) == 3 else "dist"
    os.makedirs(out, exist_ok=True)
    print(os.path.join(out, build_sdist(out)))
