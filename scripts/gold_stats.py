#!/usr/bin/env python3
"""Counts what the gold text measures.

Prints the number of Urdu words of the gold text (data/urdu/gold.txt),
its homograph tokens (words whose bare form has several readings in the
lexicon, data/diacritizer/words.txt), for each homograph form how often
each reading is written, most frequent form first, and the words whose
bare form the lexicon does not have. A bare form is the word without
tanwin, zabar, zer, pesh, shadda, jazm and khari zabar, composed (NFC), as
`urdu strip` writes it.

    python3 scripts/gold_stats.py [GOLD] [--words WORDS]
"""

import argparse
import collections
import os
import re
import unicodedata

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MARKS = re.compile("[\u064B-\u0652\u0670]")
# A word: a run of Arabic-script letters and marks (digits and Urdu
# punctuation end it).
WORD = re.compile("[\u0621-\u065F\u0670-\u06D3\u06D5]+")


def bare(word):
    return unicodedata.normalize("NFC", MARKS.sub("", word))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("gold", nargs="?",
                        default=os.path.join(ROOT, "data/urdu/gold.txt"))
    parser.add_argument("--words",
                        default=os.path.join(ROOT, "data/diacritizer/words.txt"))
    args = parser.parse_args()

    readings = collections.defaultdict(list)
    with open(args.words, encoding="utf-8") as f:
        for line in f:
            form = line.split("\t", 1)[0]
            if form and form not in readings[bare(form)]:
                readings[bare(form)].append(form)

    with open(args.gold, encoding="utf-8") as f:
        words = WORD.findall(f.read())
    per_form = collections.defaultdict(collections.Counter)
    unknown = collections.Counter()
    for w in words:
        b = bare(w)
        if b not in readings:
            unknown[w] += 1
        elif len(readings[b]) > 1:
            per_form[b][w] += 1

    homographs = sum(sum(c.values()) for c in per_form.values())
    both = sum(1 for c in per_form.values() if len(c) > 1)
    print(f"words\t{len(words)}")
    print(f"homograph tokens\t{homographs}\t"
          f"{len(per_form)} forms, {both} of them in two readings or more")
    print(f"not in the lexicon\t{sum(unknown.values())}\t"
          f"{100.0 * sum(unknown.values()) / max(len(words), 1):.2f}%")
    print()
    print("form\ttokens\treadings written (count), then those not written")
    for b, c in sorted(per_form.items(),
                       key=lambda kv: (-sum(kv[1].values()), kv[0])):
        written = " ".join(f"{r}:{c[r]}" for r in readings[b] if c[r])
        missing = " ".join(f"{r}:0" for r in readings[b] if not c[r])
        print(f"{b}\t{sum(c.values())}\t{written}" +
              (f"\t{missing}" if missing else ""))
    print()
    print("not in the lexicon:", " ".join(
        f"{w}:{n}" if n > 1 else w for w, n in
        sorted(unknown.items(), key=lambda kv: (-kv[1], kv[0]))))


if __name__ == "__main__":
    main()
