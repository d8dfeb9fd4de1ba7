#!/usr/bin/env python3
"""Makes a corpus for timing diacritize_corpus.py: the repository's Urdu
texts (data/urdu/gold.txt without its marks, data/urdu/prose.txt) repeated
into FILES files of about SIZE_MB / FILES MB each, cut at line ends, half of
them in a subfolder.

    make_corpus.py FOLDER [SIZE_MB [FILES]]     (default 200 MB, 20 files)
"""

import os
import sys

import urdulex

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "..", "..")


def main(argv):
    if not 2 <= len(argv) <= 4:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    folder = argv[1]
    size = int(float(argv[2] if len(argv) > 2 else 200) * 1e6)
    files = int(argv[3]) if len(argv) > 3 else 20
    with open(os.path.join(SOURCE, "data/urdu/gold.txt"), "rb") as f:
        text = urdulex.strip_diacritics(f.read().decode()).encode()
    with open(os.path.join(SOURCE, "data/urdu/prose.txt"), "rb") as f:
        text += f.read()
    each = size // files
    block = text * (each // len(text) + 1)
    block = block[:block.index(b"\n", each) + 1]  # the text ends with LF
    for i in range(files):
        name = os.path.join(folder, "part%d" % (i % 2), "%02d.txt" % i)
        os.makedirs(os.path.dirname(name), exist_ok=True)
        with open(name, "wb") as f:
            f.write(block)
    print("%s: %d files of %.1f MB" % (folder, files, len(block) / 1e6))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
