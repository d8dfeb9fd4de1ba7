#!/usr/bin/env python3
"""Writes a copy of an Urdu text typed the ways real text is typed.

The prose sample (data/urdu/prose.txt) is clean: precomposed letters, Urdu
kaf, yeh and hehs, a space between every two words. Text from the web,
older software and Arabic keyboards spells the same words otherwise, and
the diacritizer should know them all the same. This copy lets
bench/variant_coverage.sh measure how much of the sample `urdu diacritize`
still knows once it is spelled so:

  * decomposed letters: آ as alef and madda (U+0627 U+0653); ئ as yeh and
    hamza (U+06CC or U+064A, then U+0654); ۂ and ۓ as ہ and ے with U+0654;
  * Arabic keyboard letters: kaf U+0643 for ک, yeh U+064A for ی, and alef
    maksura U+0649 for some final yehs;
  * U+0647 (Arabic heh) for ھ and for ہ alike, as web text types both;
  * khari zabar (U+0670) left out;
  * compounds joined by a zero-width non-joiner instead of a space, where
    the pair is a plausible compound (a known first or last element);
  * run-ons: the space left out after a word ending in a non-joining
    letter (ا د ڈ ذ ر ڑ ز ژ و ے ۓ ء), which Urdu script shows unjoined.

Each variant is applied to about half of the words (or pairs) it can apply
to, chosen by random.Random(7): the copy is the same on every run. The
marks of the text stay as they are, and nothing else changes.

    python3 scripts/variant_text.py [TEXT] [-o OUT]

TEXT defaults to data/urdu/prose.txt of this tree; the copy goes to
standard output, or to OUT.
"""

import argparse
import os
import random
import re
import sys

SHARE = 0.5

ALEF_MADDA = "\u0622"
YEH_HAMZA = "\u0626"
HEH_HAMZA = "\u06c2"
YEH_BARREE_HAMZA = "\u06d3"
HAMZA_ABOVE = "\u0654"
MADDA_ABOVE = "\u0653"
KHARI_ZABAR = "\u0670"
KEHEH = "\u06a9"
FARSI_YEH = "\u06cc"
ARABIC_KAF = "\u0643"
ARABIC_YEH = "\u064a"
ALEF_MAKSURA = "\u0649"
ARABIC_HEH = "\u0647"
HEH_GOAL = "\u06c1"
HEH_DOACHASHMEE = "\u06be"
ZWNJ = "\u200c"

# Letters Urdu script never joins to the letter after them.
NON_JOINING = set("اآأدڈذرڑزژوؤےۓء")

# Elements that make compounds with a word of three letters or more beside
# them (and not with the function words below): words that come first (غیر ضروری، بے فکری) and words that come last
# (صورت حال، باورچی خانے، دکان دار).
FIRST_ELEMENTS = {"غیر", "بے", "بد", "بین"}
LAST_ELEMENTS = {
    "حال", "خانہ", "خانے", "خانوں", "دار", "داروں", "دان", "گاہ", "گاہوں",
    "نامہ", "نامے", "ساز", "کار", "کاروں", "گیر", "گیروں", "آباد", "حرارت",
    "اعظم", "پور", "عمل", "خیز", "انگیز", "مند", "پسند", "زدہ", "زدگان",
}

# Words that never make a compound with the word after them.
FUNCTION_WORDS = {
    "کیا", "یہی", "وہی", "یہ", "وہ", "اس", "ان", "جس", "کس", "ایسا", "ایسی",
    "ایسے", "اپنا", "اپنی", "اپنے", "یہاں", "وہاں", "کوئی", "ہر", "برا", "اچھا",
}

# A word: a run of Arabic-script letters and marks.
WORD = re.compile("[\u0610-\u061a\u0621-\u065f\u0670-\u06d3\u06d5-\u06ed"
                  "\u06fa-\u06ff]+")


def is_word(chunk):
    return WORD.fullmatch(chunk) is not None


def is_mark(c):
    return "\u064b" <= c <= "\u065f" or c == KHARI_ZABAR


def letters(word):
    return sum(1 for c in word if not is_mark(c))


def last_letter(word):
    for c in reversed(word):
        if not is_mark(c):
            return c
    return ""


class Variants:
    def __init__(self):
        self.rng = random.Random(7)
        self.counts = {}

    def chance(self, name):
        hit = self.rng.random() < SHARE
        tried, done = self.counts.get(name, (0, 0))
        self.counts[name] = (tried + 1, done + hit)
        return hit

    def word(self, match):
        w = match.group(0)
        if any(c in w for c in (ALEF_MADDA, YEH_HAMZA, HEH_HAMZA,
                                YEH_BARREE_HAMZA)) and self.chance("decomposed"):
            yeh = FARSI_YEH if self.rng.random() < SHARE else ARABIC_YEH
            w = (w.replace(ALEF_MADDA, "\u0627" + MADDA_ABOVE)
                 .replace(YEH_HAMZA, yeh + HAMZA_ABOVE)
                 .replace(HEH_HAMZA, HEH_GOAL + HAMZA_ABOVE)
                 .replace(YEH_BARREE_HAMZA, "\u06d2" + HAMZA_ABOVE))
        if (KEHEH in w or FARSI_YEH in w) and self.chance("arabic"):
            w = w.replace(KEHEH, ARABIC_KAF)
            if w.endswith(FARSI_YEH) and self.rng.random() < SHARE:
                w = w[:-1] + ALEF_MAKSURA
            w = w.replace(FARSI_YEH, ARABIC_YEH)
        if (HEH_GOAL in w or HEH_DOACHASHMEE in w) and self.chance("heh"):
            w = w.replace(HEH_GOAL, ARABIC_HEH).replace(HEH_DOACHASHMEE,
                                                        ARABIC_HEH)
        if KHARI_ZABAR in w and self.chance("khari zabar"):
            w = w.replace(KHARI_ZABAR, "")
        return w

    def joins(self, chunks):
        """Joins some pairs of words: by a ZWNJ where they make a compound,
        else without the space after a non-joining letter. A joined pair is
        not joined again to the next word."""
        out = []
        i = 0
        while i < len(chunks):
            a = chunks[i]
            b = chunks[i + 1] if i + 1 < len(chunks) else ""
            m = WORD.match(b)
            if is_word(a) and m:
                head = m.group(0)
                if ((a in FIRST_ELEMENTS and letters(head) >= 3) or
                        (head in LAST_ELEMENTS and letters(a) >= 3 and
                         a not in FUNCTION_WORDS)):
                    if self.chance("zwnj"):
                        out.append(a + ZWNJ + b)
                        i += 2
                        continue
                elif last_letter(a) in NON_JOINING:
                    if self.chance("run-on"):
                        out.append(a + b)
                        i += 2
                        continue
            out.append(a)
            i += 1
        return out

    def line(self, text):
        chunks = self.joins(text.split(" "))
        return WORD.sub(self.word, " ".join(chunks))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(
        description="Writes a copy of an Urdu text with spelling variants.")
    parser.add_argument("text", nargs="?",
                        default=os.path.join(root, "data", "urdu", "prose.txt"))
    parser.add_argument("-o", "--output")
    parser.add_argument("--counts", action="store_true",
                        help="print on standard error how often each variant "
                        "was applied, of the times it could be")
    args = parser.parse_args()
    with open(args.text, encoding="utf-8", newline="") as f:
        lines = f.read().split("\n")
    variants = Variants()
    result = "\n".join(variants.line(line) for line in lines)
    if args.output:
        with open(args.output, "w", encoding="utf-8", newline="") as f:
            f.write(result)
    else:
        sys.stdout.buffer.write(result.encode("utf-8"))
    if args.counts:
        for name in sorted(variants.counts):
            tried, done = variants.counts[name]
            print(f"{name}: {done} of {tried}", file=sys.stderr)


if __name__ == "__main__":
    main()
