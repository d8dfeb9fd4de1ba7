#!/usr/bin/env bash
# Times `urdu uzt` encoding and decoding through the test mapping against
# iconv converting the single-byte code page CP1256 to UTF-16LE, on the same
# text, side by side in one run, and prints the ratios (above 1: urdu uzt
# faster; the goal is 1 or more).
#
#   bench/uzt/run.sh [SIZE_MB]      (default 50)
#
# The text is SIZE_MB million characters of Urdu words with some Latin,
# digits, punctuation and line ends, all in both CP1256 and the test mapping.
# iconv reads it as CP1256 (SIZE_MB MB) and writes UTF-16LE; urdu uzt decodes
# the UZT form (about SIZE_MB MB) to UTF-16LE, and encodes the UTF-16 form
# back to UZT. Wall-clock time is what counts; processor time is shown too,
# as it varies less on a busy machine. Builds an optimised urdu in
# build-bench/ first.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
size_mb=${1:-50}
. bench/measure.sh
bench_build urdu
prog=$PWD/$build/tools/urdu/urdu
mapping=$root/data/uzt/test-mapping.txt

bench_workdir

# One block of text, repeated up to the wanted size.
python3 - "$size_mb" <<'PY'
import random, sys
random.seed(1)
words = ["\u0627\u0631\u062F\u0648", "\u067E\u0627\u06A9\u0633\u062A\u0627\u0646",
         "\u06A9\u062A\u0627\u0628", "\u0679\u06BE\u0627\u06A9", "\u0686\u0627\u0626\u06D2",
         "\u06AF\u06BE\u0631", "\u0688\u0627\u06A9", "\u0628\u0691\u0627",
         "\u0645\u0633\u0626\u0644\u06C1", "\u0644\u0688\u06A9\u0627\u0627\u06BA",
         "\u06C1\u06D2", "\u06A9\u06C1", "\u0645\u0627\u06BA", "\u0633\u06D2",
         "\u0634\u06C1\u0631", "\u0646\u0626\u0627", "\u0632\u0628\u0627\u0646",
         "Urdu", "2024", "(\u0627\u0628)", "\u060C", "."]
out, n = [], 0
while n < 1 << 20:
    w = random.choice(words)
    sep = "\r\n" if random.random() < 0.08 else " "
    out.append(w + sep)
    n += len(w) + len(sep)
block = "".join(out)
reps = int(sys.argv[1]) * 1000000 // len(block) + 1
text = block * reps
open("text.u16", "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
open("text.1256", "wb").write(text.encode("cp1256"))
PY
"$prog" uzt encode --mapping "$mapping" -o text.uzt text.u16
echo "text: $(stat -c %s text.1256) characters;" \
     "CP1256 $(stat -c %s text.1256) bytes, UZT $(stat -c %s text.uzt) bytes," \
     "UTF-16 $(stat -c %s text.u16) bytes"

# The three commands take turns, seven rounds; each keeps its best
# wall-clock time and its best processor time (user + system), in seconds.
TIMEFORMAT='%R %U %S'
measure() {  # prints "wall cpu"
  local t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<<"$t"
}
declare -A wall cpu
names=(iconv decode encode)
run() {
  case $1 in
    iconv) measure iconv -f CP1256 -t UTF-16LE -o iconv.u16 text.1256 ;;
    decode) measure "$prog" uzt decode --utf16 --mapping "$mapping" -o dec.u16 text.uzt ;;
    encode) measure "$prog" uzt encode --mapping "$mapping" -o enc.uzt text.u16 ;;
  esac
}
for _ in 1 2 3 4 5 6 7; do
  for n in "${names[@]}"; do
    read -r w c < <(run "$n")
    if [ -z "${wall[$n]:-}" ] || awk -v a="$w" -v b="${wall[$n]}" 'BEGIN { exit !(a < b) }'; then
      wall[$n]=$w
    fi
    if [ -z "${cpu[$n]:-}" ] || awk -v a="$c" -v b="${cpu[$n]}" 'BEGIN { exit !(a < b) }'; then
      cpu[$n]=$c
    fi
  done
done

# The runs must have converted the text faithfully.
cmp -s enc.uzt text.uzt || { echo "encode output differs" >&2; exit 1; }
cmp -s <(tail -c +3 dec.u16) iconv.u16 || { echo "decode output differs" >&2; exit 1; }

awk -v iw="${wall[iconv]}" -v ic="${cpu[iconv]}" \
    -v dw="${wall[decode]}" -v dc="${cpu[decode]}" \
    -v ew="${wall[encode]}" -v ec="${cpu[encode]}" 'BEGIN {
  printf "%-34s %8s %8s %12s %11s\n", "", "wall s", "cpu s", "wall ratio", "cpu ratio"
  printf "%-34s %8.3f %8.3f\n", "iconv CP1256 -> UTF-16LE", iw, ic
  printf "%-34s %8.3f %8.3f %12.2f %11.2f\n", "urdu uzt decode UZT -> UTF-16LE", dw, dc, iw / dw, ic / dc
  printf "%-34s %8.3f %8.3f %12.2f %11.2f\n", "urdu uzt encode UTF-16 -> UZT", ew, ec, iw / ew, ic / ec
  print "(ratio = iconv time / urdu uzt time; the goal is 1 or more)"
}'
