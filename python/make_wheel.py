"""Packs the built package folder into a wheel, so that installing it into
a virtual environment needs neither a network nor a build backend:

    make_wheel.py PACKAGE_DIR VERSION DIST_DIR
"""

import base64
import hashlib
import os
import sys
import sysconfig
import zipfile


def record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest())
    return "%s,sha256=%s,%d" % (name, digest.rstrip(b"=").decode(), len(data))


def main(package_dir, version, dist_dir):
    impl = "cp%d%d" % sys.version_info[:2]
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    tag = "%s-%s-%s" % (impl, impl, platform)
    info = "urdulex-%s.dist-info" % version
    files = {}
    for root, _, names in os.walk(package_dir):
        for name in sorted(names):
            if name.endswith((".pyc", ".whl")) or name == "__pycache__":
                continue
            path = os.path.join(root, name)
            arcname = os.path.join(
                "urdulex", os.path.relpath(path, package_dir))
            with open(path, "rb") as f:
                files[arcname] = f.read()
    files[info + "/METADATA"] = (
        "Metadata-Version: 2.1\nName: urdulex\nVersion: %s\n"
        "Summary: Urdu text: diacritics, normalization, word-form tables\n"
        "License: MIT\nRequires-Python: ==%d.%d.*\n"
        % (version, *sys.version_info[:2])).encode()
    files[info + "/WHEEL"] = (
        "Wheel-Version: 1.0\nGenerator: urdulex make_wheel.py\n"
        "Root-Is-Purelib: false\nTag: %s\n" % tag).encode()
    os.makedirs(dist_dir, exist_ok=True)
    for old in os.listdir(dist_dir):
        if old.endswith(".whl"):
            os.remove(os.path.join(dist_dir, old))
    wheel = os.path.join(dist_dir, "urdulex-%s-%s.whl" % (version, tag))
    record = [record_line(n, d) for n, d in sorted(files.items())]
    record.append(info + "/RECORD,,")
    files[info + "/RECORD"] = ("\n".join(record) + "\n").encode()
    with zipfile.ZipFile(wheel, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(name, data)
    print(wheel)


if __name__ == "__main__":
    main(*sys.argv[1:])
