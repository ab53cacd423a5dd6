#!/usr/bin/env bash
# Exports under pressure, through the built qelhost, the way users and
# scripts run it:
#   1. 50 exports of the example page at once into one folder give 50
#      complete files under 50 names, and each qelhost reports exactly one
#      "wrote" line: the file it wrote itself.
#   2. 20 exports of a page with a 100 MB image, each killed (SIGKILL) at a
#      random moment of its run, never leave an incomplete file under an
#      output name; those that got to the end left a complete one.
# A file is complete when it has the size of an export that ran undisturbed
# (the date stamps in it have a fixed width) and ends with the closing
# delimiter of its MIME body.
#
# usage: exports_stress.sh QELHOST SOURCE_DIR [IMAGE_MB]
# IMAGE_MB (default 100) is the size of the large image in megabytes.
# Exit 0 passed, 1 failed, 77 skipped (a tool is missing).
set -u

qelhost=$1
src=$2
image_mb=${3:-100}
for tool in timeout truncate shuf stat tail cmp sort; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qel-stress-XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Complete: the reference size, and the MIME body's closing delimiter at the end.
complete() { # FILE SIZE
    [ "$(stat -c %s "$1")" = "$2" ] && tail -c 4 "$1" | cmp -s - <(printf -- '--\r\n')
}

export_page() { # OUT PAGE -> qelhost's standard output on ours
    timeout 120 "$qelhost" --temp-dir "$1" --form detail "$2" 2>/dev/null
}

# --- 1. 50 exports at once ---------------------------------------------------------
cp -r "$src/examples/shop" "$work/shop"
mkdir "$work/ref" "$work/out"
export_page "$work/ref" "$work/shop/index.html" >/dev/null || fail "a single export failed"
ref_size=$(stat -c %s "$work/ref/toruca_detail.trc" 2>/dev/null || echo 0)

for i in $(seq 1 50); do
    export_page "$work/out" "$work/shop/index.html" >"$work/run-$i.out" &
done
wait

reported=()
for i in $(seq 1 50); do
    mapfile -t lines < <(grep '^qelhost: wrote ' "$work/run-$i.out")
    if [ "${#lines[@]}" -ne 1 ]; then
        fail "export $i reported ${#lines[@]} written files: $(head -n 2 "$work/run-$i.out" | tr '\n' ' ')"
        continue
    fi
    reported+=("${lines[0]#qelhost: wrote }")
done
files=$(find "$work/out" -mindepth 1 -maxdepth 1 | sort)
if [ "$(printf '%s\n' "${reported[@]}" | sort)" != "$files" ]; then
    fail "the reported files are not the files in the folder"
fi
[ "$(printf '%s\n' "${reported[@]}" | sort -u | wc -l)" -eq 50 ] || fail "the 50 exports did not report 50 names"
for f in $files; do
    complete "$f" "$ref_size" || fail "incomplete: $f"
done
echo "50 exports at once: ${#reported[@]} reported, $(printf '%s\n' "$files" | grep -c .) files"

# --- 2. killed while writing a large image --------------------------------------------
big="$work/big"
cp -r "$src/examples/shop" "$big"
# A GIF header, then megabytes made in an instant (a sparse file reads as zeros).
printf 'GIF89a\001\000\001\000\000\000\000' >"$big/images/logo.gif"
truncate -s "${image_mb}M" "$big/images/logo.gif"
mkdir "$work/bigref" "$work/killed"
start=$(date +%s%N)
export_page "$work/bigref" "$big/index.html" >/dev/null || fail "the export of the large page failed"
took_ms=$((($(date +%s%N) - start) / 1000000))
big_size=$(stat -c %s "$work/bigref/toruca_detail.trc" 2>/dev/null || echo 0)

finished=0
for i in $(seq 1 20); do
    "$qelhost" --temp-dir "$work/killed" --form detail "$big/index.html" >/dev/null 2>&1 &
    pid=$!
    # Anywhere from the start to the usual end.
    sleep "$(awk -v ms="$(shuf -i 0-"$took_ms" -n 1)" 'BEGIN { printf "%.3f", ms / 1000 }')"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
done
for f in "$work/killed"/*; do
    [ -e "$f" ] || continue
    case "$(basename "$f")" in
    .*) continue ;; # a hidden name is no output's
    esac
    if complete "$f" "$big_size"; then
        finished=$((finished + 1))
    else
        fail "an incomplete file under an output name: $f ($(stat -c %s "$f") of $big_size bytes)"
    fi
done
echo "20 exports of a ${image_mb} MB image killed at random (one run takes ${took_ms} ms): $finished finished whole"

[ "$failures" -eq 0 ]
