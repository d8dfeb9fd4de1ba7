#!/usr/bin/env bash
# Installs the build into a scratch prefix and runs the installed `urdu`
# from an empty folder with no data option, so that every default file has
# to come from the installation; then again after moving the prefix, with
# URDULEX_DATA pointing elsewhere, and with a data file removed. The program
# of the build tree is run the same way first.
#   install_test.sh CMAKE BUILD_DIR WORK_DIR VERSION
set -eu -o pipefail
if [ $# -ne 4 ]; then
  echo "usage: $0 CMAKE BUILD_DIR WORK_DIR VERSION" >&2
  exit 2
fi
cmake=$1 build=$2 work=$3 version=$4
rm -rf "$work"
mkdir -p "$work/empty" "$work/texts" "$work/mydata/codemapper"
"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Installed under names that say whose they are.
for name in urdu urdulex-normalize diacritizer codemapper; do
  [ -x "$work/prefix/bin/$name" ] || fail "bin/$name is not installed"
done
[ ! -e "$work/prefix/bin/normalize" ] || fail "bin/normalize is installed"

printf '%s\n' 'کِتاب اور قَلَم' >"$work/texts/gold.txt"
printf '%s\n' 'کِتاب اَور قلم' >"$work/texts/predicted.txt"

# run LABEL EXPECTED STDIN ARGS...: `urdu ARGS` in the empty folder; the
# lines of its output that match $only (all by default).
run() {
  local label=$1 expected=$2 input=$3
  shift 3
  local actual
  if ! actual=$(cd "$work/empty" && printf '%s\n' "$input" |
      "$urdu" "$@" 2>"$work/stderr" | grep -e "${only:-}"); then
    fail "$label: status $? ($(cat "$work/stderr"))"
    return
  fi
  [ "$actual" = "$expected" ] || fail "$label: got '$actual', want '$expected'"
}

cases() {
  run "diacritize" 'کِتاب اَور قَلَم' 'کتاب اور قلم' diacritize
  run "normalize" 'کتاب' $'\u0643\u062a\u0627\u0628' normalize
  run "codes" '38141012' 'کتاب' codes
  only='^table knows' run "evaluate --table" \
    "$(printf 'table knows the word\t100.00%%\t3/3')" '' \
    evaluate --gold "$work/texts/gold.txt" "$work/texts/predicted.txt" --table
  run "--version" "urdu (urdulex) $version" '' --version
  run "version" "urdu (urdulex) $version" '' version
}

# The program in the build tree takes the build's table and the source
# tree's data.
urdu=$build/tools/urdu/urdu
cases
urdu=$work/prefix/bin/urdu
cases
# A prefix moved as a whole still finds its data.
mv "$work/prefix" "$work/moved"
urdu=$work/moved/bin/urdu
cases
# URDULEX_DATA, when set, is the one folder: the files it holds are taken
# from it, and one it lacks is an error that names it, not the installed
# file.
{ printf '\xff\xfe'; printf 'ک:99\r\n' | iconv -f UTF-8 -t UTF-16LE; } \
  >"$work/mydata/codemapper/rules.txt"
URDULEX_DATA=$work/mydata run "codes from URDULEX_DATA" '99' 'کتاب' codes
if (cd "$work/empty" && echo x | URDULEX_DATA=$work/mydata "$urdu" diacritize \
    >/dev/null 2>"$work/stderr"); then
  fail "diacritize past URDULEX_DATA succeeded"
fi
message=$(cat "$work/stderr")
case $message in
  "urdu: URDULEX_DATA folder $work/mydata holds no word-form table"*) ;;
  *) fail "diacritize past URDULEX_DATA: '$message'" ;;
esac
# A missing default file is named with the option and the variable.
rm "$work/moved/share/urdulex/codemapper/rules.txt"
if (cd "$work/empty" && echo x | "$urdu" codes >/dev/null 2>"$work/stderr"); then
  fail "codes without a code table succeeded"
fi
message=$(cat "$work/stderr")
case $message in
  "urdu: no code table: give --table FILE, or set URDULEX_DATA to a folder"*) ;;
  *) fail "codes without a code table: '$message'" ;;
esac
[ -z "$(ls -A "$work/empty")" ] || fail "files left in the empty folder"

if [ "$failures" -ne 0 ]; then
  exit 1
fi
rm -rf "$work"
echo "installed urdu found its data from an empty folder, also moved"
