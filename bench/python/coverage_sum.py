"""Adding up the coverages of many texts, with their word lists, as a corpus
run does (examples/dask): `+=` in a loop, against the same loop reading the
sorted lists after every add, which is what each add cost when the lists
were kept sorted.

    PYTHONPATH=build/python python3 bench/python/coverage_sum.py [TEXTS]
"""
import random
import sys
import time

import urdulex

texts = int(sys.argv[1]) if len(sys.argv) > 1 else 300
random.seed(1)
table = urdulex.WordFormTable()
letters = "ابپتٹثجچحخدڈذرڑزژسشصضطظعغفقکگلمنوہھءیے"


def text(words):
    return " ".join("".join(random.choice(letters) for _ in range(6))
                    for _ in range(words))


coverages = [table.coverage(text(300), lists=True) for _ in range(texts)]
for read_each in (False, True):
    total = urdulex.Coverage()
    start = time.perf_counter()
    for coverage in coverages:
        total += coverage
        if read_each:
            total.unknown_words
    words = len(total.unknown_words)
    print("%-24s %d coverages, %d unknown words: %.2f s"
          % ("lists read at each add" if read_each else "+= only", texts,
             words, time.perf_counter() - start))
