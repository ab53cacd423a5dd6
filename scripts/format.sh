#!/usr/bin/env bash
# Formats our C++ sources by .clang-format.
#   scripts/format.sh            rewrite the files in place
#   scripts/format.sh --check    change nothing; report the files that differ
# Only files git knows are touched: never a build folder or generated code.
set -euo pipefail
cd "$(dirname "$0")/.."

# A difference fails the check (0 makes it report only).
enforce=1

mapfile -t files < <(git ls-files -- '*.cpp' '*.h' | grep -Ev '^(build[^/]*|third_party)/')
if [ "${#files[@]}" -eq 0 ]; then
  echo "format: no sources" >&2
  exit 2
fi

case "${1:-}" in
  "")
    clang-format -i --style=file "${files[@]}"
    echo "format: ${#files[@]} files formatted"
    ;;
  --check)
    differ=()
    for f in "${files[@]}"; do
      clang-format --dry-run -Werror --style=file "$f" > /dev/null 2>&1 || differ+=("$f")
    done
    if [ "${#differ[@]}" -eq 0 ]; then
      echo "format: all ${#files[@]} files formatted"
    elif [ "$enforce" = 1 ]; then
      printf 'format: not formatted: %s\n' "${differ[@]}" >&2
      echo "format: ${#differ[@]} of ${#files[@]} files differ (scripts/format.sh fixes them)" >&2
      exit 1
    else
      echo "format: ${#differ[@]} of ${#files[@]} files differ (reported only)"
    fi
    ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac
