"""One-word calls of WordFormTable.diacritize in a fresh interpreter, beside
dict.get on a dict of the same words in the same loop: the cost a short
script pays, before the heap has settled.

    PYTHONPATH=build/python python3 bench/python/fresh_call.py [CALLS]

Three streams of CALLS words (default 2,000) each, read from the corpus
word list (bench/corpus/urdu-word-frequencies.tsv):
  corpus    words drawn as often as the corpus has them, so a frequent word
            comes back as it does in running text;
  repeated  four words over and over;
  distinct  every word once (no word repeats: the table's full lookup).
Each stream's first call is timed apart (it reads the built-in context
rules); the figures are the mean of the others. Goal: a corpus word at
most 2x dict.get.
"""
import os
import random
import sys
import time

import urdulex

calls = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
here = os.path.dirname(os.path.abspath(__file__))
words, counts = [], []
with open(os.path.join(here, "..", "corpus", "urdu-word-frequencies.tsv"),
          encoding="utf-8") as listing:
    for line in listing:
        if not line.startswith("#"):
            word, count = line.rstrip("\n").split("\t")
            words.append(word)
            counts.append(int(count))
random.seed(5)
streams = {
    "corpus": random.choices(words, counts, k=calls + 1),
    "repeated": (words[:4] * (calls // 4 + 1))[:calls + 1],
    "distinct": random.sample(words, calls + 1),
}

print("%-9s %10s %10s %10s %7s" % ("words", "first us", "call us",
                                   "get us", "ratio"))
for name, stream in streams.items():
    table = urdulex.WordFormTable()  # each stream its own, unused
    forms = {w: w for w in stream}
    start = time.perf_counter()
    table.diacritize(stream[0])
    first = time.perf_counter() - start
    rest = stream[1:]
    start = time.perf_counter()
    for w in rest:
        table.diacritize(w)
    call = (time.perf_counter() - start) / len(rest)
    start = time.perf_counter()
    for w in rest:
        forms.get(w)
    get = (time.perf_counter() - start) / len(rest)
    print("%-9s %10.1f %10.3f %10.3f %6.1fx"
          % (name, first * 1e6, call * 1e6, get * 1e6, call / get))
