#!/usr/bin/env bash
# How much of the prose sample `urdu diacritize` knows as it is and once it
# is typed the ways real text types it (decomposed letters, Arabic kaf and
# yeh, U+0647 for both hehs, no khari zabar, ZWNJ compounds, run-ons: see
# scripts/variant_text.py): the `-v` coverage lines of the two, side by
# side, with the table's numbers in columns.
#
#   bench/variant_coverage.sh [TEXT]
#
# TEXT defaults to data/urdu/prose.txt. Builds nothing: runs the urdu of
# $URDU (default build/tools/urdu/urdu) with its shipped table. The variant
# copy is made in a scratch folder and removed after.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -gt 1 ]; then
  echo "usage: $0 [TEXT]" >&2
  exit 2
fi
text=${1:-$root/data/urdu/prose.txt}
urdu=${URDU:-$root/build/tools/urdu/urdu}
if [ ! -x "$urdu" ]; then
  echo "variant_coverage: $urdu is not built" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$root/scripts/variant_text.py" "$text" -o "$work/variants.txt"
clean=$("$urdu" diacritize --no-progress -v -o /dev/null "$text" 2>&1)
variants=$("$urdu" diacritize --no-progress -v -o /dev/null \
  "$work/variants.txt" 2>&1)
python3 - "$clean" "$variants" <<'PY'
import re, sys

FIELDS = (("words", r"(\d+) Urdu words"), ("known", r"(\d+) known"),
          ("%", r"known \(([\d.]+)%\)"), ("unknown", r"(\d+) unknown"),
          ("ambiguous", r"(\d+) ambiguous"), ("kept", r"(\d+) kept"),
          ("split", r"(\d+) split"), ("other", r"(\d+) other tokens"))

rows = []
for name, line in (("clean", sys.argv[1]), ("variants", sys.argv[2])):
    if not re.search(r"Urdu words, .* other tokens passed through", line):
        sys.exit(f"variant_coverage: unexpected summary from urdu: {line}")
    print(f"{name + ':':10} {line}")
    rows.append([name] + [m.group(1) if (m := re.search(p, line)) else "0"
                          for _, p in FIELDS])
print()
table = [["text"] + [f for f, _ in FIELDS]] + rows
widths = [max(len(r[i]) for r in table) for i in range(len(table[0]))]
for r in table:
    print("  ".join(c.ljust(w) if i == 0 else c.rjust(w)
                    for i, (c, w) in enumerate(zip(r, widths))))
PY
