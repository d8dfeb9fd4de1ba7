"""One-word calls of WordFormTable.diacritize in a fresh interpreter, the
mean of the first 2,000, beside dict.get in the same loop: the cost a short
script pays, before the heap has settled.

    PYTHONPATH=build/python python3 bench/python/fresh_call.py
"""
import time

import urdulex

table = urdulex.WordFormTable()
words = ["کتاب", "قلم", "میں", "ہے"] * 500
forms = {w: w for w in words}
start = time.perf_counter()
for w in words:
    table.diacritize(w)
call = (time.perf_counter() - start) / len(words)
start = time.perf_counter()
for w in words:
    forms.get(w)
get = (time.perf_counter() - start) / len(words)
print("diacritize %.2f us  dict.get %.3f us  ratio %.0fx"
      % (call * 1e6, get * 1e6, call / get))
