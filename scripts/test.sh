#!/usr/bin/env bash
# Builds and runs every test: the normal build (warnings as errors) with its
# clang-tidy and clang-format checks, the
# AddressSanitizer + UndefinedBehaviorSanitizer build, and each fuzz target for
# a bounded time. Installs missing Debian packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test

fuzz_seconds="${QEL_FUZZ_SECONDS:-30}"
jobs="$(nproc)"

echo "== normal build"
bash scripts/build.sh normal > /dev/null
(cd build && ctest --output-on-failure -j "$jobs")

echo "== lint (clang-tidy) and format check (clang-format)"
bash scripts/lint.sh build
bash scripts/format.sh --check

echo "== sanitizer build (address, undefined)"
bash scripts/build.sh asan > /dev/null
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
(cd build-asan && ctest --output-on-failure -j "$jobs")

echo "== fuzz targets (${fuzz_seconds}s each)"
bash scripts/build.sh fuzz > /dev/null
bash scripts/fuzz.sh "$fuzz_seconds"
