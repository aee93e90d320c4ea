#!/usr/bin/env bash
# Checks that every C and C++ source of the tree follows .clang-format.
#   scripts/check-format.sh         lists the files that differ; exit 1 if any
#   scripts/check-format.sh --fix   formats them in place
# Exit 77 (a skip for the test runner) when clang-format is not installed.
set -euo pipefail
cd "$(dirname "$0")/.."
FORMAT="${CLANG_FORMAT:-clang-format}"
command -v "$FORMAT" >/dev/null || { echo "SKIP: $FORMAT is not installed"; exit 77; }

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
else
  mapfile -t files < <(find src plugins archivers tests benchmarks fuzz -name '*.c' -o -name '*.cpp' -o -name '*.h' | sort)
fi

if [ "${1:-}" = "--fix" ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -n 50 "$FORMAT" -i
  exit 0
fi

differ=0
for f in "${files[@]}"; do
  if ! "$FORMAT" --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f"
    differ=$((differ + 1))
  fi
done
echo "${#files[@]} files checked, $differ not formatted"
[ "$differ" -eq 0 ]
