#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over our own sources, as the build compiles
# them (compile_commands.json of a build folder), and fails on any hit.
#   scripts/lint.sh [BUILD_DIR] [FILE_REGEX]   (default build/, every folder of ours)
# Headers are checked through the sources that include them. Generated
# sources and third-party code are never checked.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build="${1:-build}"
folders='framework|host|apps|preview|dialogs|toruca|html|format|model|plugin|tests|bench|fuzz'
regex="${2:-^${root}/(${folders})/.*\.cpp\$}"

if [ ! -f "$build/compile_commands.json" ]; then
  echo "lint: $build/compile_commands.json is missing; run scripts/build.sh first" >&2
  exit 2
fi
jobs="$(nproc)"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

if command -v run-clang-tidy > /dev/null; then
  status=0
  run-clang-tidy -quiet -j "$jobs" -p "$build" "$regex" > "$log" 2>&1 || status=$?
else
  status=0
  python3 - "$build/compile_commands.json" "$regex" > "$log.files" <<'PY'
import json, re, sys
pattern = re.compile(sys.argv[2])
for entry in json.load(open(sys.argv[1])):
    if pattern.search(entry["file"]):
        print(entry["file"])
PY
  xargs -a "$log.files" -P "$jobs" -n 4 clang-tidy --quiet -p "$build" > "$log" 2>&1 || status=$?
  rm -f "$log.files"
fi

# Only the findings, each with its place; colours and progress lines dropped.
sed -i 's/\x1b\[[0-9;]*m//g' "$log"
hits="$(grep -E '(warning|error): ' "$log" | sort -u || true)"
if [ "$status" -ne 0 ] || [ -n "$hits" ]; then
  grep -E -A3 '(warning|error): ' "$log" | grep -v '^clang-tidy' >&2 || cat "$log" >&2
  echo "lint: $(printf '%s\n' "$hits" | grep -c . || true) finding(s)" >&2
  exit 1
fi
echo "lint: clean"
