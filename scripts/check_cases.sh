#!/usr/bin/env bash
# Runs the cases of a case file through `urdu diacritize -v`, one line of
# input at a time, and prints those whose output or coverage line is not
# the expected one, with the code points of both where they differ.
#
#   scripts/check_cases.sh [URDU] [CASES]
#
# URDU defaults to $URDU, else build/tools/urdu/urdu; CASES to
# tools/urdu/testdata/real_text_cases.tsv (input<TAB>output<TAB>coverage
# line without "urdu: "; lines starting with # name the groups). Ends with
# a count of the cases that match; exits 1 when one does not.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
urdu=${1:-${URDU:-$root/build/tools/urdu/urdu}}
cases=${2:-$root/tools/urdu/testdata/real_text_cases.tsv}
if [ ! -x "$urdu" ]; then
  echo "check_cases: $urdu is not built" >&2
  exit 2
fi

err=$(mktemp)
trap 'rm -f "$err"' EXIT

codes() {
  python3 -c 'import sys; print(" ".join(f"{ord(c):04X}" for c in sys.argv[1]))' "$1"
}

total=0
failed=0
number=0
group=
while IFS= read -r line || [ -n "$line" ]; do
  number=$((number + 1))
  case $line in
    '#'*) group=${line#'# '}; continue ;;
    '') continue ;;
  esac
  IFS=$'\t' read -r input want want_line <<<"$line"
  total=$((total + 1))
  got=$(printf '%s\n' "$input" | "$urdu" diacritize -v 2>"$err") || true
  got_line=$(cat "$err")
  if [ "$got" = "$want" ] && [ "$got_line" = "urdu: $want_line" ]; then
    continue
  fi
  failed=$((failed + 1))
  echo "line $number ($group): $input"
  if [ "$got" != "$want" ]; then
    echo "  want: $want"
    echo "  got:  $got"
    echo "  want: $(codes "$want")"
    echo "  got:  $(codes "$got")"
  fi
  if [ "$got_line" != "urdu: $want_line" ]; then
    echo "  want: urdu: $want_line"
    echo "  got:  $got_line"
  fi
done <"$cases"
echo "$((total - failed)) of $total cases match"
[ "$failed" -eq 0 ]
