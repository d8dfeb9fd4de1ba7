#!/usr/bin/env python3
"""Measures how much the context rules of `urdu diacritize` gain.

    scripts/context_figures.py [--urdu PATH] [--gold GOLD] [--rules RULES]
                               [--table TABLE]

Strips the marks of the gold text GOLD (default data/urdu/gold.txt),
restores them with `urdu diacritize` and scores the result with `urdu
evaluate --table`. Prints three Markdown tables:

1. WER and WER on ambiguous words (with the counts evaluate prints) for
   `--ambiguous first`, `common` and `context` (with fallback first, the
   rules of RULES, default data/diacritizer/context.txt).
2. For each of the ten homograph forms of GOLD met most often (as the
   `--report` of diacritize counts them), the WER on ambiguous words in
   context mode with all rules, without the rules of that form, and the
   difference.
3. For each rule of those forms, by its line in RULES and its text, the
   WER on ambiguous words without that one rule and the difference.

A difference is the WER without the rules minus the WER with them, in
percentage points and in words: positive when the rules help, negative
when they harm. A rule is taken out by blanking its line in a temporary
copy of RULES passed with --rules, so the lines of the others stay.

PATH defaults to $URDU, else build/tools/urdu/urdu; TABLE, when given, is
passed to diacritize and evaluate (default: the table urdu finds itself).
Exits 0 after printing, 1 when a run of urdu fails (one line on standard
error), 2 on wrong usage.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import unicodedata

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_URDU = os.path.join(ROOT, "build", "tools", "urdu", "urdu")
DEFAULT_GOLD = os.path.join(ROOT, "data", "urdu", "gold.txt")
DEFAULT_RULES = os.path.join(ROOT, "data", "diacritizer", "context.txt")
FORMS = 10
BOM = "\ufeff"
WER = "WER"
AMBIGUOUS = "WER on ambiguous words"


class Failed(Exception):
    pass


def run(command):
    """The standard output of `command`; Failed when it does not succeed."""
    try:
        done = subprocess.run(command, capture_output=True, encoding="utf-8")
    except OSError as e:
        raise Failed(f"cannot run {command[0]}: {e.strerror}") from None
    if done.returncode != 0:
        message = " ".join(done.stderr.split())
        raise Failed(f"{' '.join(command)} failed ({done.returncode})" +
                     (f": {message}" if message else ""))
    return done.stdout


class Urdu:
    """Runs of one urdu program on one stripped gold text."""

    def __init__(self, urdu, gold, table, folder):
        self.urdu = urdu
        self.gold = gold
        self.table = ["--table", table] if table else []
        self.folder = folder
        self.stripped = os.path.join(folder, "stripped.txt")
        self.predicted = os.path.join(folder, "predicted.txt")
        with open(self.stripped, "w", encoding="utf-8") as f:
            f.write(run([urdu, "strip", gold]))

    def score(self, mode, rules=None):
        """{measure: (percentage text, wrong, counted)} of one mode."""
        command = [self.urdu, "diacritize"] + self.table + [
            "--ambiguous", mode]
        if mode == "context":
            command += ["--fallback", "first", "--rules", rules]
        with open(self.predicted, "w", encoding="utf-8") as f:
            f.write(run(command + [self.stripped]))
        # --table comes last: with no FILE after it, the shipped table.
        output = run([self.urdu, "evaluate", "--gold", self.gold,
                      self.predicted] + (self.table or ["--table"]))
        measures = {}
        for line in output.splitlines():
            fields = line.split("\t")
            if len(fields) == 3 and "/" in fields[2]:
                wrong, counted = fields[2].split("/")
                measures[fields[0]] = (fields[1], int(wrong), int(counted))
        for name in (WER, AMBIGUOUS):
            if name not in measures:
                raise Failed(f"urdu evaluate printed no {name}")
        return measures

    def commonest_forms(self):
        """[(bare form, tokens)] of the homographs of the gold text, most
        frequent first, as diacritize --report lists them."""
        report = os.path.join(self.folder, "report.tsv")
        run([self.urdu, "diacritize"] + self.table +
            ["--report", report, self.stripped])
        forms = []
        with open(report, encoding="utf-8") as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if len(fields) >= 3 and "|" in fields[2]:
                    forms.append((fields[0], int(fields[1])))
        return forms[:FORMS]


def read_rules(path):
    """(lines of the file, {bare form: [(line number, rule text)]})."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        raise Failed(f"{path}: byte offset {e.start}: invalid UTF-8") from None
    lines = text.split("\n")
    rules = {}
    for number, line in enumerate(lines, 1):
        text = line.split("#", 1)[0].strip().lstrip(BOM)
        if "->" in text:
            form = unicodedata.normalize("NFC", text.split("->", 1)[0].strip())
            rules.setdefault(form, []).append((number, text))
    return lines, rules


def without(lines, numbers, path):
    """Writes `lines` to `path` with the lines `numbers` blanked."""
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join("" if n in numbers else line
                          for n, line in enumerate(lines, 1)))
    return path


def ratio(measure):
    percent, wrong, counted = measure
    return f"{percent} ({wrong}/{counted})"


def difference(base, other):
    """`other` minus `base` in points and words, e.g. +1.21 (+11)."""
    words = other[1] - base[1]
    points = 100.0 * words / base[2] if base[2] else 0.0
    return f"{points:+.2f} ({words:+d})"


def cell(text):
    return text.replace("|", "\\|")


def main(argv):
    parser = argparse.ArgumentParser(
        description="Measures the gain of the context rules on a gold text.")
    parser.add_argument("--urdu", default=os.environ.get("URDU", DEFAULT_URDU),
                        help="the urdu program (default: $URDU, else "
                        "build/tools/urdu/urdu)")
    parser.add_argument("--gold", default=DEFAULT_GOLD,
                        help="the gold text (default: %(default)s)")
    parser.add_argument("--rules", default=DEFAULT_RULES,
                        help="the context rules (default: %(default)s)")
    parser.add_argument("--table",
                        help="the word-form table (default: urdu's own)")
    args = parser.parse_args(argv)

    try:
        lines, rules = read_rules(args.rules)
        with tempfile.TemporaryDirectory() as folder:
            urdu = Urdu(args.urdu, args.gold, args.table, folder)
            modes = [(mode, urdu.score(mode, args.rules))
                     for mode in ("first", "common", "context")]
            base = modes[-1][1][AMBIGUOUS]
            forms = urdu.commonest_forms()
            copy = os.path.join(folder, "rules.txt")
            per_form = []
            per_rule = []
            for form, tokens in forms:
                own = rules.get(unicodedata.normalize("NFC", form), [])
                numbers = {n for n, _ in own}
                score = urdu.score("context", without(lines, numbers, copy))
                per_form.append((form, tokens, len(own), score[AMBIGUOUS]))
                for number, text in own:
                    score = urdu.score("context",
                                       without(lines, {number}, copy))
                    per_rule.append((number, text, score[AMBIGUOUS]))
    except OSError as e:
        print(f"context_figures: cannot read {e.filename}: {e.strerror}",
              file=sys.stderr)
        return 1
    except Failed as e:
        print(f"context_figures: {e}", file=sys.stderr)
        return 1

    print("| mode | WER | WER on ambiguous words |")
    print("|---|---|---|")
    for mode, measures in modes:
        name = "context (fallback first)" if mode == "context" else mode
        print(f"| {name} | {ratio(measures[WER])} | "
              f"{ratio(measures[AMBIGUOUS])} |")
    print()
    print("| form | tokens | rules | ambiguous WER, all rules | "
          "without the form's rules | difference |")
    print("|---|---|---|---|---|---|")
    for form, tokens, count, score in per_form:
        print(f"| {form} | {tokens} | {count} | {ratio(base)} | "
              f"{ratio(score)} | {difference(base, score)} |")
    print()
    print("| line | rule | ambiguous WER without it | difference |")
    print("|---|---|---|---|")
    for number, text, score in per_rule:
        print(f"| {number} | {cell(text)} | {ratio(score)} | "
              f"{difference(base, score)} |")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
