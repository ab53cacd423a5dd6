#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a user gets:
# the installed programs run the example from the installed tree, the manual
# pages render, the desktop entry is valid and starts qelhost on a page, the
# file types are recognised, and the Debian package holds the tree with the
# dependencies of every ELF file in it and passes lintian. Nothing outside a
# temporary folder is changed (the MIME database is built in a folder of its
# own, named by XDG_DATA_HOME).
#   install_test.sh BUILD_DIR VERSION HAS_TORUCA HAS_GUI_BACK_END
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
has_toruca=$3
has_gui=$4

for tool in cmake cpack dpkg dpkg-deb lintian desktop-file-validate update-mime-database gio xdg-mime man readelf; do
    command -v "$tool" > /dev/null || { echo "missing $tool (scripts/deps.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qel-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# Waits up to ten seconds for a file that a program started in the
# background creates.
wait_for() {
    for _ in $(seq 100); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

echo "== install into $work/root"
DESTDIR="$work/root" cmake --install "$build" --prefix /usr > /dev/null
usr="$work/root/usr"
docs="$usr/share/doc/qeltoruca"
# The installed programs must find everything in the installed tree alone.
unset LD_LIBRARY_PATH DISPLAY WAYLAND_DISPLAY QELHOST_TEMP_DIR QELHOST_REGISTRY QELHOST_SCRIPT

echo "== the example export by the installed qelhost"
mkdir "$work/out"
status=0
(cd "$docs" && QEL_EXAMPLE_EDITOR_DONE="$work/editor.done" "$usr/bin/qelhost" --temp-dir "$work/out" \
     --registry examples/editor/editor.reg --script examples/shop/detail.script examples/shop/index.html) \
    > "$work/qelhost.out" 2>&1 || status=$?
wait_for "$work/editor.done" || fail "the example editor did not run"
cat "$work/qelhost.out"
[ "$status" -eq 0 ] || fail "installed qelhost ended with status $status"
grep -qxF "qelhost: wrote $work/out/toruca_detail.trc" "$work/qelhost.out" || fail "installed qelhost wrote no detail file"
grep -qxF "toruca-editor: opened $work/out/toruca_detail.trc" "$work/qelhost.out" ||
    fail "the registered example editor was not started on the card"
"$usr/bin/qelhost" --version | grep -qxF "qelhost (qeltoruca) $version" || fail "qelhost --version is not $version"

if [ "$has_toruca" = 1 ]; then
    echo "== toruca --version"
    "$usr/bin/toruca" --version | tee "$work/toruca.out"
    grep -qF "$version" "$work/toruca.out" || fail "toruca --version does not name $version"
fi

echo "== manual pages"
shopt -s nullglob
pages=("$usr"/share/man/man1/*.1.gz)
shopt -u nullglob
[ "$has_toruca" = 1 ] && expected_pages=2 || expected_pages=1
[ "${#pages[@]}" -eq "$expected_pages" ] || fail "${#pages[@]} manual pages, expected $expected_pages"
for page in "${pages[@]}"; do
    # help2man's stand-in when it was given no description for NAME.
    if zcat "$page" | grep -q "manual page for"; then fail "$page has no description in NAME"; fi
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 > /dev/null || echo "man failed")
    [ -z "$warnings" ] || fail "man -l ${page##*/}: $warnings"
done

echo "== desktop entry"
desktop="$usr/share/applications/qeltoruca.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate refused $desktop"
# Opened on a page as a file manager does: qelhost runs on it (dialogs
# answered by the example's script, which qelhost reads from QELHOST_SCRIPT).
mkdir "$work/desktop-out"
PATH="$usr/bin:$PATH" QELHOST_TEMP_DIR="$work/desktop-out" QELHOST_SCRIPT="$docs/examples/shop/detail.script" \
    gio launch "$desktop" "$docs/examples/shop/index.html" 2> "$work/gio.err" || fail "gio launch: $(cat "$work/gio.err")"
wait_for "$work/desktop-out/toruca_detail.trc" || fail "the desktop entry did not export the page"

echo "== file types"
xdg="$work/xdg"
mkdir -p "$xdg/mime/packages"
cp "$usr/share/mime/packages/qeltoruca.xml" "$xdg/mime/packages/"
update-mime-database "$xdg/mime" > /dev/null 2>&1 || fail "update-mime-database refused qeltoruca.xml"
mkdir "$work/samples"
cp "$work/out/toruca_detail.trc" "$work/samples/card.trc"
printf 'ToruCa\r\nVersion: 2.1\r\nType: SNIP\r\n\r\n' > "$work/samples/snippet"
printf 'toruca\nVersion: 1.0\n' > "$work/samples/lower-case-lf"
printf 'TORUCA_PROJECT_V2\r\nVersion: 2.1\r\nType: PROJECT\r\n\r\n' > "$work/samples/project"
printf 'TORUCA_PROJECT_V2\r\nVersion: 2.1\r\n' > "$work/samples/project.tpj"
printf 'ToruCa notes\nnot a card\n' > "$work/samples/notes"
printf 'TORUCA_PROJECT_V20\nnot a project\n' > "$work/samples/notes2"
check_type() {
    local type
    type=$(XDG_DATA_HOME="$xdg" XDG_DATA_DIRS=/usr/share XDG_CURRENT_DESKTOP=GNOME \
               xdg-mime query filetype "$work/samples/$1")
    [ "$type" = "$2" ] || fail "$1 is '$type', expected $2"
}
check_type card.trc application/x-toruca
check_type snippet application/x-toruca
check_type lower-case-lf application/x-toruca
check_type project application/x-toruca-project
check_type project.tpj application/x-toruca-project
check_type notes text/plain
check_type notes2 text/plain

echo "== Debian package"
(cd "$build" && cpack --config CPackConfig.cmake -G DEB -B "$work/pkg" > "$work/cpack.out") ||
    { cat "$work/cpack.out"; fail "cpack failed"; }
deb="$work/pkg/qeltoruca_${version}_$(dpkg --print-architecture).deb"
if [ ! -f "$deb" ]; then
    fail "no package $deb"
else
    dpkg-deb -f "$deb" Package Version Section Depends Recommends
    [ "$(dpkg-deb -f "$deb" Section)" = web ] || fail "section is not web"
    # The tree, and nothing outside its folders (a library in usr/lib itself
    # would be a public library without a versioned name).
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort > "$work/contents"
    expected=(usr/bin/qelhost usr/lib/qeltoruca/libqeltoruca.so usr/lib/qeltoruca/libqelfw.so
              usr/lib/qeltoruca/libqelhostsvc.so usr/share/man/man1/qelhost.1.gz
              usr/share/mime/packages/qeltoruca.xml usr/share/applications/qeltoruca.desktop
              usr/share/doc/qeltoruca/copyright usr/share/doc/qeltoruca/changelog.gz
              usr/share/doc/qeltoruca/examples/shop/index.html usr/share/doc/qeltoruca/examples/shop/detail.script
              usr/share/doc/qeltoruca/examples/editor/editor.reg)
    [ "$has_gui" = 1 ] && expected+=(usr/lib/qeltoruca/libqelfw_wx.so)
    [ "$has_toruca" = 1 ] && expected+=(usr/bin/toruca usr/share/man/man1/toruca.1.gz
                                         usr/share/bash-completion/completions/toruca)
    for f in "${expected[@]}"; do
        grep -qxF "$f" "$work/contents" || fail "the package lacks $f"
    done
    stray=$(grep -Ev '^usr/(bin/[^/]+|lib/qeltoruca/[^/]+\.so|share/(man/man1|mime/packages|applications|bash-completion/completions|lintian/overrides)/[^/]+|share/doc/qeltoruca/.+)$' \
                "$work/contents" || true)
    [ -z "$stray" ] || fail "files outside the package's folders: $stray"

    # Every library an ELF file of the package needs comes from the package
    # itself or from a package it depends on.
    dpkg-deb -x "$deb" "$work/deb"
    depends=" $(dpkg-deb -f "$deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g') "
    for elf in "$work/deb/usr/bin/"* "$work/deb/usr/lib/qeltoruca/"*.so; do
        for lib in $(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
            [ -e "$work/deb/usr/lib/qeltoruca/$lib" ] && continue
            owner=$(dpkg -S "*/$lib" 2> /dev/null | head -n 1 | cut -d: -f1 || true)
            if [ -z "$owner" ]; then
                fail "no installed package holds $lib, needed by ${elf##*/}"
            elif [[ "$depends" != *" $owner "* ]]; then
                fail "${elf##*/} needs $lib of $owner, which the package does not depend on"
            fi
        done
    done

    echo "== lintian"
    status=0
    lintian --fail-on error --display-level ">=warning" "$deb" > "$work/lintian.out" 2>&1 || status=$?
    grep -v "root privileges" "$work/lintian.out" || true
    [ "$status" -eq 0 ] || fail "lintian reports errors (status $status)"
fi

if [ "$failures" -ne 0 ]; then
    echo "install_package: $failures checks failed" >&2
    exit 1
fi
echo "install_package: all checks passed"
