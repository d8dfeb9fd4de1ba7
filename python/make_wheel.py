"""Packs the built package folder into a wheel for the running interpreter,
so that installing it into a virtual environment needs neither a network
nor a build backend:

    make_wheel.py PACKAGE_DIR VERSION DIST_DIR

The CMake build runs it; build_backend.py, behind `pip install .`, uses
the same functions, so both wheels carry the same metadata.
"""

import base64
import hashlib
import os
import sys
import sysconfig
import zipfile

NAME = "urdulex"
SUMMARY = "Urdu text: diacritics, normalization, word-form tables"
AUTHOR = "urdulex developers"
LICENSE = "MIT"
# Set to the project's home page to have it in the metadata.
URL = ""
REQUIRES_PYTHON = ">=3.9"
CLASSIFIERS = [
    "Development Status :: 3 - Alpha",
    "Intended Audience :: Developers",
    "Intended Audience :: Science/Research",
    "License :: OSI Approved :: MIT License",
    "Natural Language :: Urdu",
    "Operating System :: POSIX :: Linux",
    "Programming Language :: C++",
    "Programming Language :: Python :: 3",
    "Programming Language :: Python :: 3 :: Only",
    "Programming Language :: Python :: Implementation :: CPython",
    "Topic :: Text Processing :: Linguistic",
    "Typing :: Typed",
]


def wheel_tag():
    impl = "cp%d%d" % sys.version_info[:2]
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return "%s-%s-%s" % (impl, impl, platform)


def metadata(version):
    """The core metadata (METADATA, and PKG-INFO of a source archive)."""
    lines = [
        "Metadata-Version: 2.1",
        "Name: " + NAME,
        "Version: " + version,
        "Summary: " + SUMMARY,
    ]
    if URL:
        lines.append("Home-page: " + URL)
    lines += ["Author: " + AUTHOR, "License: " + LICENSE]
    lines += ["Classifier: " + c for c in CLASSIFIERS]
    lines.append("Requires-Python: " + REQUIRES_PYTHON)
    return "\n".join(lines) + "\n"


def dist_info(version):
    """The files of the .dist-info folder but its RECORD, by name."""
    return {
        "METADATA": metadata(version),
        "WHEEL": "Wheel-Version: 1.0\nGenerator: urdulex make_wheel.py\n"
                 "Root-Is-Purelib: false\nTag: %s\n" % wheel_tag(),
    }


def record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest())
    return "%s,sha256=%s,%d" % (name, digest.rstrip(b"=").decode(), len(data))


def pack(package_dir, version, dist_dir, replace=False):
    """Writes the wheel of PACKAGE_DIR into DIST_DIR (in place of any wheel
    there if REPLACE) and returns its file name."""
    info = "%s-%s.dist-info" % (NAME, version)
    files = {}
    for root, _, names in os.walk(package_dir):
        for name in sorted(names):
            if name.endswith((".pyc", ".whl")) or name == "__pycache__":
                continue
            path = os.path.join(root, name)
            arcname = os.path.join(
                NAME, os.path.relpath(path, package_dir))
            with open(path, "rb") as f:
                files[arcname] = f.read()
    for name, text in dist_info(version).items():
        files[info + "/" + name] = text.encode()
    os.makedirs(dist_dir, exist_ok=True)
    for old in os.listdir(dist_dir) if replace else []:
        if old.endswith(".whl"):
            os.remove(os.path.join(dist_dir, old))
    wheel = "%s-%s-%s.whl" % (NAME, version, wheel_tag())
    record = [record_line(n, d) for n, d in sorted(files.items())]
    record.append(info + "/RECORD,,")
    files[info + "/RECORD"] = ("\n".join(record) + "\n").encode()
    with zipfile.ZipFile(os.path.join(dist_dir, wheel), "w",
                         zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(name, data)
    return wheel


if __name__ == "__main__":
    print(os.path.join(sys.argv[3], pack(*sys.argv[1:4], replace=True)))
