#!/usr/bin/env bash
# Runs every fuzz target of build-fuzz/ for a bounded time on a copy of its
# seed corpus. Fails when a target finds a crash or a sanitizer report.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shopt -s nullglob
targets=(build-fuzz/fuzz/fuzz_*)
if [ "${#targets[@]}" -eq 0 ]; then
  echo "fuzz: no targets built"
  exit 0
fi
passed=0
for t in "${targets[@]}"; do
  name="${t##*/fuzz_}"
  work="build-fuzz/corpus-run/$name"
  rm -rf "$work" && mkdir -p "$work" build-fuzz/artifacts
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  opts=()
  [ -f "fuzz/$name.dict" ] && opts=(-dict="fuzz/$name.dict")
  # The page targets take pages of 2 MB, as large as any page must import
  # or fail in bounded time; their seeds hold deeply nested ones.
  case "$name" in
    dom|html_import) opts+=(-max_len=2097152) ;;
  esac
  echo "fuzz: $name for ${seconds}s"
  "$t" "${opts[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
       -artifact_prefix=build-fuzz/artifacts/"$name"- -print_final_stats=0 "$work" 2>&1 | tail -n 3
  passed=$((passed + 1))
done
echo "fuzz: ${passed} passed, 0 failed"
