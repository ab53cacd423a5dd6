#!/usr/bin/env bash
# Runs every fuzz target of build-fuzz/ for a bounded time on a copy of its
# seed corpus, as many at once as there are processors. Fails when a target
# finds a crash or a sanitizer report.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
jobs="$(nproc)"
shopt -s nullglob
targets=(build-fuzz/fuzz/fuzz_*)
if [ "${#targets[@]}" -eq 0 ]; then
  echo "fuzz: no targets built"
  exit 0
fi

# One target; its output goes to build-fuzz/logs/NAME.log.
run_target() {
  local t="$1" name="${1##*/fuzz_}"
  local work="build-fuzz/corpus-run/$name"
  rm -rf "$work" && mkdir -p "$work"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  local opts=()
  local timeout=10
  [ -f "fuzz/$name.dict" ] && opts=(-dict="fuzz/$name.dict")
  # The page targets take pages of 2 MB, as large as any page must import
  # or fail in bounded time; their seeds hold deeply nested ones. A few
  # kilobytes of unclosed <b id=N> before many paragraphs make a tree of
  # a million elements, the most the parse accepts: an input parses such a
  # page twice, about 5 s in this instrumented build, so only a run past
  # 60 s is a hang.
  case "$name" in
    dom|html_import) opts+=(-max_len=2097152) timeout=60 ;;
    # Fontconfig, pango and cairo keep their caches until the process ends:
    # the leak check at exit is told of exactly those libraries.
    page_preview) export LSAN_OPTIONS="suppressions=$PWD/tests/framework/wx/lsan_suppressions.txt:print_suppressions=0" ;;
  esac
  "$t" "${opts[@]}" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=4096 \
       -artifact_prefix=build-fuzz/artifacts/"$name"- -print_final_stats=0 "$work" \
       > "build-fuzz/logs/$name.log" 2>&1
}

rm -rf build-fuzz/logs && mkdir -p build-fuzz/logs build-fuzz/artifacts
declare -A pids
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  echo "fuzz: ${t##*/fuzz_} for ${seconds}s"
  run_target "$t" &
  pids["${t##*/fuzz_}"]=$!
done
passed=0
failed=0
for name in "${!pids[@]}"; do
  if wait "${pids[$name]}"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "fuzz: $name failed:"
    tail -n 30 "build-fuzz/logs/$name.log"
  fi
done
echo "fuzz: ${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
