#!/usr/bin/env bash
# Installs the Debian packages that a job needs, when any is missing. Quick
# when everything is there.
#   scripts/deps.sh example   what building the module and qelhost and
#                             running the example need (the main job)
#   scripts/deps.sh test      all that, and what the whole build and its
#                             checks need: the toruca tool, the GUI back end,
#                             tests, lint, sanitizers, fuzzing, the package
#   QEL_BENCH_DEPS=1          adds the benchmarks' reference tools
set -euo pipefail

job="${1:-test}"
# gettext: msgfmt makes the programs' message catalogues (po/).
packages=(g++ cmake ninja-build pkg-config libgumbo-dev liburiparser-dev libuchardet-dev libglib2.0-dev gettext)
case "$job" in
  example) ;;
  test)
    packages+=(
      binutils python3 ccache
      libgtest-dev libgmock-dev libbenchmark-dev
      clang libclang-rt-14-dev clang-tidy clang-format
      libcli11-dev nlohmann-json3-dev libcairo2-dev libpango1.0-dev libgdk-pixbuf-2.0-dev liblitehtml-dev
      zlib1g-dev  # the toruca tests write PNG images of hostile sizes
      # A second MIME reader of the cards in the tests (and the benchmarks' reference).
      libgmime-3.0-dev
      libwxgtk3.2-dev libgtk-3-dev xvfb xauth fonts-ipafont-gothic adwaita-icon-theme
      # Manual pages, the Debian package and its checks, file types, desktop entry.
      scdoc devscripts dpkg-dev file man-db lintian desktop-file-utils shared-mime-info xdg-utils libglib2.0-bin
    )
    ;;
  *) echo "usage: $0 [example|test]" >&2; exit 2 ;;
esac
if [ "${QEL_BENCH_DEPS:-0}" = 1 ]; then
  packages+=(hyperfine coreutils time)
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
