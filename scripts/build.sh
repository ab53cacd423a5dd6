#!/usr/bin/env bash
# Configures and builds one flavour into a build folder.
#   scripts/build.sh [normal|example|asan|fuzz]   (default normal, into build/)
# example builds only the module and qelhost, into a folder of its own
# (build/example/), so that it never reconfigures the whole build in build/
# that the tests, the install and the package use; with a compiler cache
# the normal build reuses its objects.
set -euo pipefail
cd "$(dirname "$0")/.."
flavour="${1:-normal}"
jobs="$(nproc)"
targets=()
case "$flavour" in
  normal) dir=build; args=(-DQEL_WERROR=ON -DQEL_TESTS=ON -DQEL_BENCH=ON -DQEL_TORUCA=ON -DQEL_GUI=AUTO) ;;
  example) dir=build/example; args=(-DQEL_WERROR=ON -DQEL_TESTS=OFF -DQEL_BENCH=OFF -DQEL_TORUCA=OFF -DQEL_GUI=OFF)
           targets=(--target qelhost qeltoruca) ;;
  asan)   dir=build-asan; args=(-DQEL_WERROR=ON -DQEL_SANITIZE=ON -DQEL_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug) ;;
  fuzz)   dir=build-fuzz; args=(-DQEL_FUZZ=ON -DQEL_TESTS=OFF -DQEL_BENCH=OFF -DQEL_GUI=OFF
                                 -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "usage: $0 [normal|example|asan|fuzz]" >&2; exit 2 ;;
esac
# A compiler cache, when installed, makes rebuilds and fresh clones quick;
# paths inside the tree are hashed relative to it, so clones share entries.
if command -v ccache > /dev/null; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
  args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja "${args[@]}" > /dev/null
cmake --build "$dir" -j "$jobs" "${targets[@]}"
echo "$dir"
