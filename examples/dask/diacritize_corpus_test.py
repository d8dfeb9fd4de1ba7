#!/usr/bin/env python3
"""diacritize_corpus.py on two workers against urdu, byte for byte: each
output is `urdu diacritize FILE`'s, report.tsv and stats.tsv what `urdu
report merge` makes of the files' --report and --stats. Status 77 (skipped)
without Dask or the urdulex package. Environment: URDU (the program),
URDULEX_SOURCE_DIR, PYTHONPATH holding the package."""

import os
import subprocess
import sys
import tempfile

try:
    import dask.bag  # noqa: F401
    import distributed  # noqa: F401
    import urdulex
except ImportError as e:
    print("skipped: %s" % e)
    sys.exit(77)

URDU = os.environ["URDU"]
SOURCE = os.environ["URDULEX_SOURCE_DIR"]
EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                       "diacritize_corpus.py")
TABLE = urdulex.data_file("diacritizer/wordformshashtable.lex")

failures = []


def check(what, expected, got):
    if expected != got:
        failures.append("%s: %d bytes expected, %d written; first "
                        "difference at byte %d" % (
                            what, len(expected), len(got),
                            next((i for i, (a, b) in enumerate(zip(
                                expected, got)) if a != b),
                                 min(len(expected), len(got)))))


def urdu(*args):
    return subprocess.run([URDU, *args], check=True,
                          stdout=subprocess.PIPE).stdout


def make_corpus(folder):
    """Files in nested folders, of the repository's texts: the gold text
    without its marks (its izafats are where --normalize differs), the
    prose with CR LF line ends, a last line without LF, a byte-order mark,
    UTF-16, an empty file."""
    with open(os.path.join(SOURCE, "data/urdu/gold.txt"), "rb") as f:
        gold = urdulex.strip_diacritics(f.read().decode()).encode()
    with open(os.path.join(SOURCE, "data/urdu/prose.txt"), "rb") as f:
        prose = f.read()
    lines = prose.splitlines(keepends=True)
    files = {
        "gold.txt": gold,
        "a/crlf.txt": prose.replace(b"\n", b"\r\n"),
        "a/b/no-last-lf.txt": b"".join(lines[:12]).rstrip(b"\n"),
        "a/b/bom.txt": b"\xef\xbb\xbf" + b"".join(lines[12:30]),
        "a/utf16.txt": b"\xff\xfe" + b"".join(lines[30:40]).decode().encode(
            "utf-16-le"),
        "c/empty.txt": b"",
    }
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return sorted(files)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    with tempfile.TemporaryDirectory() as work:
        corpus = os.path.join(work, "corpus")
        names = make_corpus(corpus)
        # The example's options, then urdu's for the same outputs.
        runs = [
            ([], ["--normalize"]),
            (["--no-normalize", "--ambiguous", "all"], ["--ambiguous", "all"]),
        ]
        for number, (options, urdu_options) in enumerate(runs):
            out = os.path.join(work, "out%d" % number)
            subprocess.run([sys.executable, EXAMPLE, "--table", TABLE,
                            *options, corpus, out], check=True)
            reports, stats = [], []
            for i, name in enumerate(names):
                reports.append(os.path.join(work, "report%d" % i))
                stats.append(os.path.join(work, "stats%d" % i))
                expected = urdu("diacritize", "--table", TABLE, *urdu_options,
                                "--report", reports[-1], "--stats", stats[-1],
                                os.path.join(corpus, name))
                check("%s %s" % (options, name), expected,
                      read(os.path.join(out, name)))
            sums = (("report.tsv", reports), ("stats.tsv", stats))
            for kind, files in sums:
                check("%s %s" % (options, kind), urdu("report", "merge", *files),
                      read(os.path.join(out, kind)))
            left = sorted(os.path.relpath(os.path.join(root, f), out)
                          for root, _, fs in os.walk(out) for f in fs)
            if left != sorted(names + [kind for kind, _ in sums]):
                failures.append("%s: the output folder holds %s"
                                % (options, left))
        # Refused before any cluster starts: an output in the input folder.
        refused = subprocess.run(
            [sys.executable, EXAMPLE, corpus, os.path.join(corpus, "out")],
            stderr=subprocess.PIPE, universal_newlines=True)
        if refused.returncode != 1 or "is the input folder or in it" not in \
                refused.stderr:
            failures.append("output in the input: status %d, %r"
                            % (refused.returncode, refused.stderr))
    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
