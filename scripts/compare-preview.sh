#!/usr/bin/env bash
# Draws the compact-HTML pages of scripts/compare-pages/ twice, 240 pixels
# wide with the handset's stylesheet (preview/handset.css) as the base
# rules: with `toruca preview --page`, and with headless Chromium. Writes
# into BUILD/compare-preview/ each page's pictures side by side
# (NAME-pair.png), the element boxes measured in both (geometry.txt) and a
# page that shows them (index.html). Not part of the test command: it
# installs Debian's chromium and chromium-l10n (and python3-pil, which measures the
# pictures) when they are missing.
#   scripts/compare-preview.sh [BUILD]     (default build/, after scripts/build.sh normal)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
toruca="$build/toruca"
[ -x "$toruca" ] || { echo "compare-preview: no $toruca: build it first (scripts/build.sh normal)" >&2; exit 2; }

# Debian's python, which Debian's python3-pil serves.
py=/usr/bin/python3
need=()
command -v chromium > /dev/null || need+=(chromium)
# Its Japanese, for the default labels of form buttons.
[ -f /usr/lib/chromium/locales/ja.pak ] || need+=(chromium-l10n)
"$py" -c 'import PIL' 2> /dev/null || need+=(python3-pil)
dpkg-query -W -f='${Status}' fonts-ipafont-gothic 2> /dev/null | grep -q "install ok installed" || need+=(fonts-ipafont-gothic)
if [ "${#need[@]}" -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${need[@]}"
fi

out="$build/compare-preview"
rm -rf "$out"
mkdir -p "$out/pages"
cp scripts/compare-pages/*.html "$out/pages/"
"$py" scripts/compare_preview.py images "$out/pages"
# Chromium with a profile of its own whose default text is 12 pixels, the
# handset's: the seven font sizes and a table's text count from it. One CSS
# pixel a pixel, no scroll bars.
mkdir -p "$out/profile/Default"
echo '{"webkit":{"webprefs":{"default_font_size":12,"default_fixed_font_size":12}}}' \
  > "$out/profile/Default/Preferences"
chrome=(chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --lang=ja --force-device-scale-factor=1
        --user-data-dir="$PWD/$out/profile" --default-background-color=ffffffff --virtual-time-budget=3000)
for page in "$out"/pages/*.html; do
  case "$page" in *.chromium.html) continue ;; esac
  name="$(basename "$page" .html)"
  # The missing image of a page is a warning of make's, as meant.
  "$toruca" make "$page" -o "$out/$name.trc" > /dev/null 2>&1
  "$toruca" preview --page "$out/$name.trc" -o "$out/$name-toruca.png" > /dev/null
  "$py" scripts/compare_preview.py prepare "$page" preview/handset.css "$out/pages/$name.chromium.html"
  LANGUAGE=ja "${chrome[@]}" --window-size=240,2000 --dump-dom "file://$PWD/$out/pages/$name.chromium.html" \
    > "$out/$name.dom.html" 2> /dev/null
  height="$("$py" scripts/compare_preview.py height "$out/$name.dom.html" "$out/$name-toruca.png")"
  # A window taller than the page: Chromium draws only part of a window
  # of the page's height. The report cuts the picture to the page.
  LANGUAGE=ja "${chrome[@]}" --window-size=240,"$((height + 400))" --screenshot="$PWD/$out/$name-chromium.png" \
    "file://$PWD/$out/pages/$name.chromium.html" > /dev/null 2>&1
done
"$py" scripts/compare_preview.py report "$out"
echo "compare-preview: $out/index.html"
