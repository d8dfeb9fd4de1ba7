#!/usr/bin/env python3
"""Builds data/diacritizer/words.txt from the lexicon sources.

    scripts/lexicon_merge.py [--check]

The sources are data/diacritizer/src/function.tsv, the closed classes form
by form (form<TAB>lemma<TAB>tag<TAB>gloss), the lemma lists
src/{nominals,more,verbs}.tsv (lemma<TAB>class<TAB>source<TAB>gloss, and
optionally <TAB>overrides; scripts/lexicon_forms.py makes every form of a
lemma from its class), '#' starting a comment line, and src/order.tsv (the
order of the readings of bare forms that several lists give). The word list
has one line a form, word<TAB>id<TAB>tag<TAB>flag, the readings of one bare
form together and most frequent first; doc/lexicon.md describes the fields.
With --check nothing is written: the command fails when words.txt is not
what the sources give. Fails, naming the place, on a malformed source line,
an unknown tag, or a bare form that two lists read differently without an
order.
"""

import collections
import os
import sys

import lexicon_forms

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = os.path.join(ROOT, "data", "diacritizer", "src")
OUT = os.path.join(ROOT, "data", "diacritizer", "words.txt")
DOC = os.path.join(ROOT, "doc", "lexicon.md")
# Earlier lists win the tag of a form that several lists give.
LISTS = ["function", "nominals", "more", "verbs"]
FORM_LISTS = {"function"}
SOURCES = {"core", "corpus-list"}

# The tens digit is the class of lexicon/PartsOfSpeech.h: 1 noun, 2 verb,
# 3 adjective, 4 adverb, 5 pronoun, 6 harf (particle).
TAGS = {
    "noun": 10, "propernoun": 11,
    "verb": 20, "auxiliary": 21,
    "adjective": 30, "numeral": 31, "determiner": 32,
    "adverb": 40,
    "pronoun": 50, "question": 51,
    "postposition": 60, "conjunction": 61, "particle": 62, "interjection": 63,
}
FLAG_LEMMA = 1      # the form is its lemma's dictionary form
FLAG_HOMOGRAPH = 2  # another line has the same bare form
FLAG_UNCERTAIN = 4  # the vocalization of a name or loanword is less certain

# The marks the word-form table lifts off a word to find its key.
LIFTED = {chr(c) for c in range(0x064E, 0x0654)}


def bare(word):
    return "".join(c for c in word if c not in LIFTED)


def fail(message):
    sys.exit("lexicon_merge: " + message)


def read_rows():
    rows = []  # (list, line, form, lemma, tag, uncertain)
    for name in LISTS:
        path = os.path.join(SRC, name + ".tsv")
        with open(path, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                line = line.rstrip("\n")
                if not line or line.startswith("#"):
                    continue
                where = "%s.tsv:%d" % (name, number)
                fields = line.split("\t")
                if name in FORM_LISTS:
                    rows.extend((name, number, form, lemma, tag, False)
                                for form, lemma, tag in
                                [read_form(fields, where)])
                else:
                    rows.extend(read_lemma(fields, where, name, number))
    return rows


def read_form(fields, where):
    if len(fields) != 4 or not all(fields[:3]):
        fail(where + ": wants form, lemma, tag and gloss")
    form, lemma, tag = fields[:3]
    if tag not in TAGS:
        fail(where + ": unknown tag " + tag)
    if any(c.isspace() for c in form):
        fail(where + ": the form is not one word")
    return form, lemma, tag


def read_lemma(fields, where, name, number):
    if len(fields) not in (4, 5) or not all(fields[:3]):
        fail(where + ": wants lemma, class, source and gloss")
    lemma, klass, source = fields[:3]
    tag = lexicon_forms.split_class(klass)[0]
    if tag not in TAGS:
        fail(where + ": unknown tag " + tag)
    uncertain = source.endswith("?")
    if source.rstrip("?") not in SOURCES:
        fail(where + ": unknown source " + source)
    if any(c.isspace() for c in lemma):
        fail(where + ": the lemma is not one word")
    try:
        forms = lexicon_forms.forms(lemma, klass,
                                    fields[4] if len(fields) == 5 else "")
    except lexicon_forms.LemmaError as e:
        fail("%s: %s %s" % (where, lemma, e))
    return [(name, number, form, lemma, tag, uncertain) for form in forms]


def read_order():
    order = {}
    with open(os.path.join(SRC, "order.tsv"), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) < 3 or any(bare(r) != fields[0] for r in fields[1:]):
                fail("order.tsv:%d: wants a bare form and its readings" % number)
            order[fields[0]] = fields[1:]
    return order


def read_shared():
    """The forms doc/lexicon.md lists under "Forms shared by parts of speech"."""
    shared, inside = set(), False
    with open(DOC, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#"):
                inside = line.strip() == "### Forms shared by parts of speech"
            elif inside:
                shared.update(w.strip("،.`*") for w in line.split())
    return shared


def check_shared(rows):
    """Fails on a form that lemmas of different tags give, unless listed."""
    tags = collections.OrderedDict()
    for r in rows:
        tags.setdefault(r[2], collections.OrderedDict())[r[4]] = r[3]
    shared = read_shared()
    for form, by_tag in tags.items():
        if len(by_tag) > 1 and form not in shared:
            fail("%s is a form of %s; list it in doc/lexicon.md under "
                 "\"Forms shared by parts of speech\" or mend the entry"
                 % (form, " and ".join("%s (%s)" % (l, t)
                                       for t, l in by_tag.items())))


def merge():
    rows = read_rows()
    check_shared(rows)
    order = read_order()
    groups = collections.OrderedDict()  # bare form -> rows, in list order
    for row in rows:
        groups.setdefault(bare(row[2]), []).append(row)
    lines = []
    ids = {}
    for key, group in groups.items():
        forms = list(collections.OrderedDict.fromkeys(r[2] for r in group))
        by_list = collections.OrderedDict()
        for r in group:
            by_list.setdefault(r[0], [])
            if r[2] not in by_list[r[0]]:
                by_list[r[0]].append(r[2])
        agreed = all(f == forms for f in by_list.values())
        if key in order:
            if sorted(order[key]) != sorted(forms):
                fail("order.tsv: %s lists %s, the sources give %s"
                     % (key, " ".join(order[key]), " ".join(forms)))
            forms = order[key]
        elif len(by_list) > 1 and not agreed:
            fail("%s: %s read it as %s; order.tsv must give the order"
                 % (key, ", ".join(l + ".tsv" for l in by_list),
                    " ".join(forms)))
        for form in forms:
            first = next(r for r in group if r[2] == form)
            lemma, tag = first[3], TAGS[first[4]]
            lemma_id = ids.setdefault((lemma, tag // 10), len(ids) + 1)
            flag = (FLAG_LEMMA if form == lemma else 0) | \
                   (FLAG_HOMOGRAPH if len(forms) > 1 else 0) | \
                   (FLAG_UNCERTAIN if first[5] else 0)
            lines.append("%s\t%d\t%d\t%d\n" % (form, lemma_id, tag, flag))
    return "".join(lines)


def main():
    check = sys.argv[1:] == ["--check"]
    if sys.argv[1:] and not check:
        print("usage: scripts/lexicon_merge.py [--check]", file=sys.stderr)
        sys.exit(2)
    text = merge()
    if check:
        with open(OUT, encoding="utf-8") as f:
            if f.read() != text:
                fail("data/diacritizer/words.txt is not what the sources "
                     "give; run scripts/lexicon_merge.py")
        return
    temporary = OUT + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(temporary, OUT)
    print("lexicon_merge: %d forms written to data/diacritizer/words.txt"
          % text.count("\n"))


if __name__ == "__main__":
    main()
