#!/usr/bin/env python3
"""Judges how `urdu diacritize` reads homographs by their context.

    scripts/check_context_cases.py [--urdu PATH] [--ambiguous MODE] [CASES]

CASES (default tools/urdu/testdata/context_cases.tsv) holds one case a
line, input<TAB>expected: a sentence without marks, and the same sentence
where the judged words are written as the lexicon writes the reading
meant. A judged word is one that carries marks in `expected`, or one
written with a `*` before it (a reading the lexicon writes bare, like the
postposition میں); the other words stay bare and are not judged. An
input that starts with `?` is an open case: a reading the rules do not yet
give, judged and counted but not failing the run. A run of
lines starting with '#' names, with its first line, the group of the cases
that follow; its other lines say what decides the reading. Blank lines are
skipped.

Every input goes through one run of `urdu diacritize` (with --ambiguous
MODE when given); PATH defaults to $URDU, else build/tools/urdu/urdu. Each
judged word is compared with the output's word at the same place. Prints
one line per wrong word, then for each group and in all how many judged
words are right. Exits 0 when all are but those of open cases, 1 when one
is not, 2 on wrong usage,
a malformed case line or a failed run of urdu.
"""

import argparse
import os
import subprocess
import sys
import unicodedata

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_CASES = os.path.join(ROOT, "tools", "urdu", "testdata",
                             "context_cases.tsv")
DEFAULT_URDU = os.path.join(ROOT, "build", "tools", "urdu", "urdu")
JUDGED = "*"
ZWNJ = "\u200c"
OPEN = "?"


class Malformed(Exception):
    pass


def is_mark(c):
    return unicodedata.category(c) in ("Mn", "Me")


def is_word_char(c):
    return c == ZWNJ or unicodedata.category(c)[0] in "LM"


def bare(text):
    return "".join(c for c in text if not is_mark(c))


def words(text, joiner=""):
    """The words of `text` as (start, word): runs of letters and marks,
    and of a `joiner` character that a letter or mark follows."""
    found = []
    i = 0
    while i < len(text):
        if not is_word_char(text[i]):
            i += 1
            continue
        start = i
        while i < len(text) and (is_word_char(text[i]) or (
                text[i] in joiner and i + 1 < len(text)
                and is_word_char(text[i + 1]))):
            i += 1
        found.append((start, text[start:i]))
    return found


def parse_case(line):
    """(input, [(index, expected word)], open) of a case line."""
    fields = line.split("\t")
    if len(fields) != 2:
        raise Malformed("wants input<TAB>expected")
    source, expected = fields
    is_open = source.startswith(OPEN)
    if is_open:
        source = source[len(OPEN):]
    if any(is_mark(c) for c in source) or JUDGED in source:
        raise Malformed("the input carries marks")
    if bare(expected.replace(JUDGED, "")) != source:
        raise Malformed("expected is not the input's letters")
    judged = []
    for index, (start, word) in enumerate(words(expected)):
        starred = start > 0 and expected[start - 1] == JUDGED
        if starred and bare(word) != word:
            raise Malformed(f"* before a word with marks: {word}")
        if starred or bare(word) != word:
            judged.append((index, word))
    starred_words = sum(1 for _, w in judged if bare(w) == w)
    if expected.count(JUDGED) != starred_words:
        raise Malformed("* stands before no word")
    if not judged:
        raise Malformed("no word is judged")
    return source, judged, is_open


def read_cases(path):
    """[(line number, group, input, judged words, open)]."""
    cases = []
    group = None
    in_comment = False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n").rstrip("\r")
            if line.startswith("#"):
                if not in_comment:
                    group = line.lstrip("#").strip()
                in_comment = True
                continue
            in_comment = False
            if not line.strip():
                continue
            if group is None:
                raise Malformed(f"{path}:{number}: a case before any group")
            try:
                source, judged, is_open = parse_case(line)
            except Malformed as e:
                raise Malformed(f"{path}:{number}: {e}") from None
            cases.append((number, group, source, judged, is_open))
    return cases


def diacritize(urdu, mode, inputs):
    command = [urdu, "diacritize"]
    if mode:
        command += ["--ambiguous", mode]
    run = subprocess.run(command, input="".join(s + "\n" for s in inputs),
                         capture_output=True, encoding="utf-8")
    if run.returncode != 0:
        raise Malformed(f"{' '.join(command)} failed ({run.returncode}): "
                        f"{run.stderr.strip()}")
    lines = run.stdout.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if len(lines) != len(inputs):
        raise Malformed(f"urdu wrote {len(lines)} lines for {len(inputs)}")
    return lines


def main(argv):
    parser = argparse.ArgumentParser(
        description="Judges the readings urdu diacritize gives homographs.")
    parser.add_argument("--urdu", default=os.environ.get("URDU", DEFAULT_URDU),
                        help="the urdu program (default: $URDU, else "
                        "build/tools/urdu/urdu)")
    parser.add_argument("--ambiguous", choices=["context", "first", "common",
                                                "keep", "all"],
                        help="passed to urdu diacritize")
    parser.add_argument("cases", nargs="?", default=DEFAULT_CASES,
                        help="the case file (default: %(default)s)")
    args = parser.parse_args(argv)
    if not os.access(args.urdu, os.X_OK):
        print(f"check_context_cases: {args.urdu} is not built",
              file=sys.stderr)
        return 2
    try:
        cases = read_cases(args.cases)
        outputs = diacritize(args.urdu, args.ambiguous,
                             [case[2] for case in cases])
    except (Malformed, OSError) as e:
        print(f"check_context_cases: {e}", file=sys.stderr)
        return 2

    right = {}
    judged_in = {}
    failed = 0
    for (number, group, source, judged, is_open), output in zip(cases,
                                                                 outputs):
        got = [w for _, w in words(output, joiner="|")]
        aligned = [bare(w.split("|")[0]) for w in got] == [
            w for _, w in words(source)]
        judged_in[group] = judged_in.get(group, 0) + len(judged)
        right.setdefault(group, 0)
        for index, want in judged:
            have = got[index] if aligned else "(output words differ)"
            if have == want:
                right[group] += 1
            else:
                failed += 0 if is_open else 1
                print(f"line {number} ({group}): expected {want}, got {have}"
                      + (" (open)" if is_open else ""))
    for group in judged_in:
        print(f"{group}: {right[group]} of {judged_in[group]} judged words "
              "right")
    total_right = sum(right.values())
    total = sum(judged_in.values())
    print(f"total: {total_right} of {total} judged words right")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
