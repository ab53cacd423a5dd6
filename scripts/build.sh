#!/usr/bin/env bash
# Configures and builds one flavour into a build folder.
#   scripts/build.sh [normal|asan|fuzz]   (default normal, into build/)
set -euo pipefail
cd "$(dirname "$0")/.."
flavour="${1:-normal}"
jobs="$(nproc)"
case "$flavour" in
  normal) dir=build; args=(-DQEL_WERROR=ON) ;;
  asan)   dir=build-asan; args=(-DQEL_WERROR=ON -DQEL_SANITIZE=ON -DQEL_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug) ;;
  fuzz)   dir=build-fuzz; args=(-DQEL_FUZZ=ON -DQEL_TESTS=OFF -DQEL_BENCH=OFF -DQEL_GUI=OFF
                                 -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "usage: $0 [normal|asan|fuzz]" >&2; exit 2 ;;
esac
# A compiler cache, when installed, makes rebuilds and fresh clones quick.
if command -v ccache > /dev/null; then
  args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja "${args[@]}" > /dev/null
cmake --build "$dir" -j "$jobs"
echo "$dir"
