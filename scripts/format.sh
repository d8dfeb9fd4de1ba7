#!/usr/bin/env bash
# Formats the C++ sources with clang-format (.clang-format), or with
# --check lists the files that differ from it and fails.
set -eu
cd "$(dirname "$0")/.."
bash scripts/setup.sh
check=0
[ "${1:-}" = --check ] && check=1
bad=0
while IFS= read -r f; do
  if [ $check -eq 1 ]; then
    if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
      echo "format: $f differs from .clang-format (scripts/format.sh mends it)" >&2
      bad=1
    fi
  else
    clang-format -i "$f"
  fi
done < <(git ls-files '*.cpp' '*.h' '*.h.in' | grep -v '\.h\.in$')
exit $bad
