"""The inflection classes of the lexicon: every form of a lemma.

A lemma line of the sources names its dictionary form and its class, such
as `noun:m-a` or `verb`; `forms(lemma, klass, overrides)` gives every form
of it with its diacritics, in the order of the class's slots. doc/lexicon.md
describes the classes. A lemma whose ending does not fit its class raises
LemmaError.
"""

ZABAR, PESH, ZER, SHADDA = "\u064e", "\u064f", "\u0650", "\u0651"
MARKS = {chr(c) for c in range(0x064B, 0x0653)} | {"\u0670"}
ALEF, ALEF_MADDA, WAW, YEH, BARREE = "\u0627", "\u0622", "\u0648", "\u06cc", "\u06d2"
HEH_GOAL, NOON, NOON_GHUNNA, HAMZA_YEH, HAMZA_WAW = \
    "\u06c1", "\u0646", "\u06ba", "\u0626", "\u0624"
TEH = "\u062a"
# Letters that never carry a vowel mark of their own (doc/lexicon.md, rule 11).
CARRY_NOTHING = {ALEF, ALEF_MADDA, HAMZA_YEH, YEH}


class LemmaError(Exception):
    pass


def _letters(word):
    return [c for c in word if c not in MARKS]


def _last_letter(word):
    letters = _letters(word)
    return letters[-1] if letters else ""


def _cut(word, letter):
    """`word` without its last letter, which must be `letter`, and the marks on it."""
    end = len(word)
    while end and word[end - 1] in MARKS:
        end -= 1
    if not end or word[end - 1] != letter:
        raise LemmaError("does not end in " + letter)
    return word[:end - 1]


def _on_last(stem, mark):
    """`stem` with `mark` on its last letter (after its shadda), unless that
    letter is one that carries nothing. A vowel mark already there goes."""
    end = len(stem)
    marks = []
    while end and stem[end - 1] in MARKS:
        end -= 1
        marks.insert(0, stem[end])
    if not end or stem[end - 1] in CARRY_NOTHING:
        return stem
    kept = [m for m in marks if m == SHADDA]
    return stem[:end] + "".join(kept) + mark


def _ii(stem):
    """`stem` + the vowel ii before a suffix: zer on its last letter, then ی."""
    return _on_last(stem, ZER) + YEH


def _plural_oblique(word):
    """-وں after a word that keeps its last letter."""
    last = _last_letter(word)
    if last == YEH:
        return _ii(_cut(word, YEH)) + WAW + NOON_GHUNNA
    if last in (ALEF, WAW, ALEF_MADDA):
        return word + HAMZA_WAW + NOON_GHUNNA
    return word + WAW + NOON_GHUNNA


# Each class: the slots it fills, and a function from the lemma to
# {slot: form}. Slot names are what overrides use.
def _before_e(stem):
    """A stem in ی after a long vowel writes it ئ before ے and ی: سایہ، سائے."""
    if _last_letter(stem) == YEH and len(_letters(stem)) > 1 and \
            not stem.endswith(SHADDA):
        return _cut(stem, YEH) + HAMZA_YEH
    return stem


def _noun_m_a(w):
    s = _cut(w, ALEF)
    return {"sg": w, "obl": _before_e(s) + BARREE, "obl.pl": s + WAW + NOON_GHUNNA}


def _noun_m_h(w):
    s = _cut(w, HEH_GOAL)
    return {"sg": w, "obl": _before_e(s) + BARREE, "obl.pl": s + WAW + NOON_GHUNNA}


def _noun_m(w):
    if _last_letter(w) == NOON_GHUNNA:
        raise LemmaError("a noun in ں is listed with its forms")
    return {"sg": w, "obl.pl": _plural_oblique(w)}


def _noun_f_i(w):
    s = _ii(_cut(w, YEH))
    return {"sg": w, "pl": s + ALEF + NOON_GHUNNA,
            "obl.pl": s + WAW + NOON_GHUNNA}


def _noun_f_ya(w):
    s = _cut(w, ALEF)
    if _last_letter(s) != YEH:
        raise LemmaError("does not end in یا")
    return {"sg": w, "pl": w + NOON_GHUNNA, "obl.pl": s + WAW + NOON_GHUNNA}


def _noun_f(w):
    last = _last_letter(w)
    if last == YEH:
        raise LemmaError("a feminine noun in ی is noun:f-i")
    if last == NOON_GHUNNA:  # ماں: مائیں، ماؤں
        s = _cut(w, NOON_GHUNNA)
        return {"sg": w, "pl": s + HAMZA_YEH + YEH + NOON_GHUNNA,
                "obl.pl": s + HAMZA_WAW + NOON_GHUNNA}
    if last in (ALEF, WAW, ALEF_MADDA):
        return {"sg": w, "pl": w + HAMZA_YEH + YEH + NOON_GHUNNA,
                "obl.pl": w + HAMZA_WAW + NOON_GHUNNA}
    return {"sg": w, "pl": w + YEH + NOON_GHUNNA, "obl.pl": _plural_oblique(w)}


def _adjective_a(w):
    s = _before_e(_cut(w, ALEF))
    return {"m": w, "obl": s + BARREE, "f": s + YEH}


def _syncope(stem):
    """A stem of the shape CvCaC loses its second short vowel before a vowel:
    سَمَجھ، سَمجھا؛ نِکَل، نِکلا؛ بِکھَر، بِکھرا."""
    aspirate = "\u06be"
    letters = [i for i, c in enumerate(stem) if c not in MARKS and c != aspirate]
    if len(letters) < 3:
        return stem
    middle, first = letters[-2], letters[-3]
    after = stem[middle + 1:letters[-1]]
    before = stem[first + 1:middle].replace(aspirate, "")
    if after.replace(aspirate, "") == ZABAR and before in (ZABAR, ZER, PESH):
        cut = middle + 1 + after.index(ZABAR)
        return stem[:cut] + stem[cut + 1:]
    return stem


def _verb(w):
    whole = _cut(_cut(w, ALEF), NOON)
    if not _letters(whole):
        raise LemmaError("has no stem before نا")
    stem = _syncope(whole)
    last = _last_letter(stem)
    bare_stem = whole  # a final ی is ii and takes no zer before it: پی
    if last == YEH:
        bare_stem = _cut(whole, YEH).rstrip(ZER) + YEH
    f = {"inf": w, "inf.obl": whole + NOON + BARREE, "inf.f": whole + NOON + YEH,
         "stem": bare_stem}
    t = whole + TEH
    f.update({"impf.m.sg": t + ALEF, "impf.f": t + YEH, "impf.m.pl": t + BARREE,
              "impf.f.pl": _ii(t) + NOON_GHUNNA})
    if last in (ALEF, ALEF_MADDA, WAW):  # کھا، آ، سو
        f.update({"imp": stem + HAMZA_WAW, "polite": stem + HAMZA_YEH + YEH + BARREE,
                  "subj.1sg": stem + HAMZA_WAW + NOON_GHUNNA,
                  "subj.3sg": stem + HAMZA_YEH + BARREE,
                  "subj.pl": stem + HAMZA_YEH + YEH + NOON_GHUNNA,
                  "perf.m.sg": stem + YEH + ALEF,
                  "perf.m.pl": stem + HAMZA_YEH + BARREE,
                  "perf.f.sg": stem + HAMZA_YEH + YEH,
                  "perf.f.pl": stem + HAMZA_YEH + YEH + NOON_GHUNNA})
    elif last == YEH:  # پی، جی، سی: the stem is ii
        f.update({"imp": stem + WAW, "polite": stem + "\u062c" + ZER + YEH + BARREE,
                  "subj.1sg": stem + PESH + WAW + NOON_GHUNNA,
                  "subj.3sg": stem + BARREE, "subj.pl": stem + YEH + NOON_GHUNNA,
                  "perf.m.sg": stem + ALEF, "perf.m.pl": stem + BARREE,
                  "perf.f.sg": bare_stem,
                  "perf.f.pl": stem + YEH + NOON_GHUNNA})
    else:
        f.update({"imp": stem + WAW, "polite": _ii(stem) + BARREE,
                  "subj.1sg": _on_last(stem, PESH) + WAW + NOON_GHUNNA,
                  "subj.3sg": stem + BARREE, "subj.pl": stem + YEH + NOON_GHUNNA,
                  "perf.m.sg": stem + ALEF, "perf.m.pl": stem + BARREE,
                  "perf.f.sg": stem + YEH, "perf.f.pl": _ii(stem) + NOON_GHUNNA})
    return f


CLASSES = {
    "m-a": _noun_m_a, "m-h": _noun_m_h, "m": _noun_m,
    "f-i": _noun_f_i, "f-ya": _noun_f_ya, "f": _noun_f,
}
# tag -> classes it may take; the tag alone is the lemma as its one form.
TAG_CLASSES = {
    "noun": CLASSES,
    "adjective": {"a": _adjective_a},
    "verb": {"": _verb},
    "auxiliary": {"": _verb},
}
SLOT_ORDER = {
    "noun": ["sg", "obl", "pl", "obl.pl"],
    "adjective": ["m", "obl", "f"],
    "verb": ["inf", "inf.obl", "inf.f", "stem", "imp", "polite", "subj.1sg",
             "subj.3sg", "impf.m.sg", "impf.f", "impf.m.pl", "impf.f.pl",
             "perf.m.sg", "perf.f.sg", "perf.m.pl", "subj.pl", "perf.f.pl"],
}
SLOT_ORDER["auxiliary"] = SLOT_ORDER["verb"]


def split_class(klass):
    """'noun:m-a' -> ('noun', 'm-a'); 'verb' -> ('verb', ''); 'adverb' -> ('adverb', None)."""
    tag, _, paradigm = klass.partition(":")
    if tag in ("verb", "auxiliary") and not paradigm:
        return tag, ""
    return tag, (paradigm if paradigm else None)


def forms(lemma, klass, overrides=""):
    """Every form of `lemma` of class `klass`, in slot order, without repeats.

    `overrides` holds space-separated changes: `slot=form` (or
    `slot=form1|form2`) replaces a slot, `slot=` empties it, `+form` adds a
    form at the end."""
    tag, paradigm = split_class(klass)
    if paradigm is None:
        table = {"sg": lemma}
        order = ["sg"]
    else:
        classes = TAG_CLASSES.get(tag, {})
        if paradigm not in classes:
            raise LemmaError("no class %s for %s" % (paradigm or "(none)", tag))
        table = {k: [v] for k, v in classes[paradigm](lemma).items()}
        order = SLOT_ORDER[tag]
        table = {k: v[0] for k, v in table.items()}
    table = {k: [v] for k, v in table.items()}
    extra = []
    for change in overrides.split():
        if change.startswith("+"):
            extra.append(change[1:])
            continue
        slot, eq, value = change.partition("=")
        if not eq or slot not in table:
            raise LemmaError("override %s names no slot of %s" % (change, klass))
        table[slot] = [v for v in value.split("|") if v]
    result = []
    for slot in order:
        for form in table.get(slot, []):
            if form not in result:
                result.append(form)
    for form in extra:
        if form not in result:
            result.append(form)
    return result
