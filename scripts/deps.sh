#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the example need,
# when any is missing. Quick when everything is there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config binutils python3
  libgtest-dev libgmock-dev libbenchmark-dev
  libgumbo-dev liburiparser-dev libuchardet-dev
  clang libclang-rt-14-dev
  libwxgtk3.2-dev libgtk-3-dev xvfb xauth fonts-ipafont-gothic adwaita-icon-theme
)
if [ "${QEL_BENCH_DEPS:-0}" = 1 ]; then
  packages+=(hyperfine libgmime-3.0-dev coreutils)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
