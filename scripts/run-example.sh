#!/usr/bin/env bash
# The main job: installs what it needs, builds the module and qelhost (into
# build/example/, beside the whole build in build/), and exports the example
# page examples/shop/index.html as a ToruCa detail file through qelhost,
# without any question: examples/shop/detail.script answers the dialogs, the
# output goes to a fresh temporary folder under the build folder, and the
# example "editor" registered by examples/editor/editor.reg prints the card.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh example
bash scripts/build.sh example > /dev/null
qelhost=build/example/qelhost

out="$PWD/build/example-output"
rm -rf "$out"
mkdir -p "$out"
# The editor runs on its own (the host does not wait for it); it creates this
# file when it is done, so that its lines come before ours.
export QEL_EXAMPLE_EDITOR_DONE="$PWD/build/example-editor.done"
rm -f "$QEL_EXAMPLE_EDITOR_DONE"

echo "\$ $qelhost --temp-dir $out --registry examples/editor/editor.reg --script examples/shop/detail.script examples/shop/index.html"
status=0
"$qelhost" --temp-dir "$out" --registry examples/editor/editor.reg \
    --script examples/shop/detail.script examples/shop/index.html || status=$?
if [ "$status" -ne 0 ]; then
    echo "run-example: qelhost ended with status $status" >&2
    exit "$status"
fi
for _ in $(seq 100); do
    [ -e "$QEL_EXAMPLE_EDITOR_DONE" ] && break
    sleep 0.1
done
rm -f "$QEL_EXAMPLE_EDITOR_DONE"

card=$(ls "$out"/*.trc)
echo
echo "The ToruCa detail file is $card ($(wc -c < "$card") bytes, Shift_JIS, CR LF)."
echo "Its MIME body holds the page and, as Base64 parts, the page's images:"
tr -d '\r' < "$card" | iconv -f CP932 -t UTF-8 | grep '^Content-Type: ' | sed 's/^/  /'
