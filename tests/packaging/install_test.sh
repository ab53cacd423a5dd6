#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a user gets:
# the installed programs run the example from the installed tree, the manual
# pages render, the desktop entry is valid and starts qelhost on a page, the
# file types are recognised, and the Debian package holds the tree with the
# dependencies of every ELF file in it, has Debian's hardening on each and
# passes lintian (its report is left in BUILD_DIR/lintian.out). Nothing outside a
# temporary folder is changed (the MIME database is built in a folder of its
# own, named by XDG_DATA_HOME).
# First it runs the README's main job (scripts/run-example.sh), so that the
# install and the package below come after it, as a newcomer may run them:
# the main job must leave the whole build alone, and its reduced build must
# refuse to be packaged.
#   install_test.sh BUILD_DIR VERSION HAS_TORUCA HAS_GUI_BACK_END
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
version=$2
has_toruca=$3
has_gui=$4

for tool in cmake cpack dpkg dpkg-deb lintian hardening-check desktop-file-validate update-mime-database gio xdg-mime man readelf; do
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

echo "== the main job first (scripts/run-example.sh)"
cache_before=$(md5sum < "$build/CMakeCache.txt")
status=0
bash "$source_dir/scripts/run-example.sh" > "$work/example.out" 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat "$work/example.out"; fail "the main job ended with status $status"; }
grep -q "^qelhost: wrote .*/toruca_detail.trc$" "$work/example.out" || fail "the main job wrote no detail file"
[ "$(md5sum < "$build/CMakeCache.txt")" = "$cache_before" ] || fail "the main job reconfigured $build"
# Its reduced build is no package: cpack refuses it and writes nothing.
status=0
(cd "$source_dir/build/example" && cpack -G DEB -B "$work/reduced") > "$work/reduced.out" 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "cpack packaged the main job's reduced build"
grep -q "this build lacks the toruca tool" "$work/reduced.out" || fail "cpack did not say what the reduced build lacks: $(cat "$work/reduced.out")"
! compgen -G "$work/reduced/*.deb" > /dev/null || fail "cpack wrote a package of the reduced build"

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
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 > /dev/null || echo "man failed")
    [ -z "$warnings" ] || fail "man -l ${page##*/}: $warnings"
done
# The pages are written by hand: each must name every option that the
# program's --help (and each toruca command's) offers, and its sections.
page_names_options() {
    local page=$1 help_text=$2 option text
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$page" 2> /dev/null)
    for option in $(grep -oE -- '(^|[ ,])--?[a-zA-Z][a-zA-Z0-9-]*' <<< "$help_text" | grep -oE -- '--?[a-zA-Z][a-zA-Z0-9-]*' | sort -u); do
        grep -qF -- "$option" <<< "$text" || fail "${page##*/} does not name $option"
    done
    for section in "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
        grep -qx "$section" <<< "$text" || fail "${page##*/} has no section $section"
    done
}
page_names_options "$usr/share/man/man1/qelhost.1.gz" "$("$usr/bin/qelhost" --help)"
if [ "$has_toruca" = 1 ]; then
    toruca_help=$("$usr/bin/toruca" --help)
    commands=$(sed -n '/^[Ss][Uu][Bb][Cc][Oo][Mm][Mm][Aa][Nn][Dd][Ss]:/,/^$/p' <<< "$toruca_help" |
                   awk 'NR > 1 && NF { print $1 }')
    [ -n "$commands" ] || fail "toruca --help lists no commands"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$usr/share/man/man1/toruca.1.gz" 2> /dev/null)
    for command in $commands; do
        toruca_help+=$'\n'$("$usr/bin/toruca" "$command" --help)
        grep -qE "^ +$command( |$)" <<< "$text" || fail "toruca.1.gz does not describe the command $command"
    done
    page_names_options "$usr/share/man/man1/toruca.1.gz" "$toruca_help"
fi

# The pages' EXAMPLES, run as written by the installed programs on the
# installed example: every command succeeds, and no card they make draws a
# warning or an error (from make or from check).
run_examples() {
    local scd=$1 dir=$2
    mkdir -p "$dir" "$work/examples-home"
    sed -n '/^# EXAMPLES/,/^# SEE ALSO/p' "$scd" | awk '/^```/ { inside = !inside; next } inside' |
        sed 's/\\\\/\\/g; s#/usr/share/doc/qeltoruca#'"$docs"'#g' > "$dir/examples.sh"
    (cd "$dir" && HOME="$work/examples-home" PATH="$usr/bin:$PATH" bash -e "$dir/examples.sh") > "$dir/out" 2>&1 ||
        fail "the examples of ${scd##*/} failed: $(cat "$dir/out")"
    if grep -E "(: warning: |: error: )" "$dir/out"; then fail "the examples of ${scd##*/} make a card with warnings"; fi
}
run_examples "$source_dir/apps/qelhost/qelhost.1.scd" "$work/qelhost-examples"
[ "$has_toruca" = 1 ] && run_examples "$source_dir/apps/toruca/toruca.1.scd" "$work/toruca-examples"

# The example's README names only what is installed beside it (paths from
# the examples' folder, the folder above it, or the page's folder).
for name in $(grep -oE '`[a-z]+/[A-Za-z0-9_./-]+`' "$docs/examples/README.md" | tr -d '`' | sort -u); do
    [ -e "$docs/examples/$name" ] || [ -e "$docs/$name" ] || [ -e "$docs/examples/shop/$name" ] ||
        fail "the installed examples' README names $name, which is not installed"
done

echo "== desktop entry"
desktop="$usr/share/applications/qeltoruca.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate refused $desktop"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -n "$icon" ] && [ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "the desktop entry's icon '$icon' is not installed"
[ "$(sed -n 's/^StartupWMClass=//p' "$desktop")" = qelhost ] || fail "the desktop entry's StartupWMClass is not qelhost"
# Opened on a page as a file manager does: qelhost runs on it (dialogs
# answered by the example's script, which qelhost reads from QELHOST_SCRIPT)
# and writes into ~/ToruCa, made for it.
mkdir "$work/home"
PATH="$usr/bin:$PATH" HOME="$work/home" QELHOST_SCRIPT="$docs/examples/shop/detail.script" \
    gio launch "$desktop" "$docs/examples/shop/index.html" 2> "$work/gio.err" || fail "gio launch: $(cat "$work/gio.err")"
wait_for "$work/home/ToruCa/toruca_detail.trc" || fail "the desktop entry did not export the page into ~/ToruCa"

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
    [[ "$(dpkg-deb -f "$deb" Recommends)" == *bash-completion* ]] || fail "the package does not recommend bash-completion"
    # The tree, and nothing outside its folders (a library in usr/lib itself
    # would be a public library without a versioned name).
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort > "$work/contents"
    expected=(usr/bin/qelhost usr/lib/qeltoruca/libqeltoruca.so usr/lib/qeltoruca/libqelfw.so
              usr/lib/qeltoruca/libqelhostsvc.so usr/share/man/man1/qelhost.1.gz
              usr/share/mime/packages/qeltoruca.xml usr/share/applications/qeltoruca.desktop
              usr/share/icons/hicolor/scalable/apps/qeltoruca.svg
              usr/share/doc/qeltoruca/copyright usr/share/doc/qeltoruca/changelog.gz
              usr/share/doc/qeltoruca/examples/shop/index.html usr/share/doc/qeltoruca/examples/shop/detail.script
              usr/share/doc/qeltoruca/examples/editor/editor.reg
              usr/share/locale/ja/LC_MESSAGES/qeltoruca.mo)
    [ "$has_gui" = 1 ] && expected+=(usr/lib/qeltoruca/libqelfw_wx.so)
    [ "$has_toruca" = 1 ] && expected+=(usr/bin/toruca usr/share/man/man1/toruca.1.gz
                                         usr/share/bash-completion/completions/toruca)
    for f in "${expected[@]}"; do
        grep -qxF "$f" "$work/contents" || fail "the package lacks $f"
    done
    stray=$(grep -Ev '^usr/(bin/[^/]+|lib/qeltoruca/[^/]+\.so|share/(locale/[a-z_]+/LC_MESSAGES|man/man1|mime/packages|applications|icons/hicolor/scalable/apps|bash-completion/completions|lintian/overrides)/[^/]+|share/doc/qeltoruca/.+)$' \
                "$work/contents" || true)
    [ -z "$stray" ] || fail "files outside the package's folders: $stray"

    # Every library an ELF file of the package needs comes from the package
    # itself or from a package it depends on.
    dpkg-deb -x "$deb" "$work/deb"
    depends=" $(dpkg-deb -f "$deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g') "
    for elf in "$work/deb/usr/bin/"* "$work/deb/usr/lib/qeltoruca/"*.so; do
        for lib in $(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
            [ -e "$work/deb/usr/lib/qeltoruca/$lib" ] && continue
            # The package of this architecture's copy (a multilib machine
            # also holds /lib32/libm.so.6 of libc6-i386).
            owner=$(dpkg -S "*/$lib" 2> /dev/null | grep -v -E '(/lib(32|x32)/|i386)' | head -n 1 | cut -d: -f1 ||
                true)
            if [ -z "$owner" ]; then
                fail "no installed package holds $lib, needed by ${elf##*/}"
            elif [[ "$depends" != *" $owner "* ]]; then
                fail "${elf##*/} needs $lib of $owner, which the package does not depend on"
            fi
        done
    done

    # Debian's hardening on every ELF file: fortified calls, the stack
    # protector, full RELRO, BIND_NOW, and PIE for the programs; control
    # flow protection is no flag of this release's dpkg-buildflags. A file
    # whose libc calls all needed no checked variant ("only unprotected
    # functions found") was fortified all the same: lintian's overrides name
    # those files.
    echo "== hardening"
    for elf in "$work/deb/usr/bin/"* "$work/deb/usr/lib/qeltoruca/"*.so; do
        hardening-check --quiet --nocfprotection "$elf" > "$work/hardening.out" && continue
        missing=$(tail -n +2 "$work/hardening.out" | grep -v "(ignored)" |
                      grep -vF "Fortify Source functions: no, only unprotected functions found!" || true)
        [ -z "$missing" ] || fail "${elf##*/} lacks hardening: $missing"
        grep -qF "hardening-no-fortify-functions [${elf#"$work/deb/"}]" "$usr/share/lintian/overrides/qeltoruca" ||
            fail "${elf##*/} has no fortified call and no lintian override that says why"
    done

    echo "== lintian"
    status=0
    lintian --fail-on error --display-level ">=info" "$deb" > "$work/lintian.out" 2>&1 || status=$?
    grep -v "root privileges" "$work/lintian.out" || true
    [ "$status" -eq 0 ] || fail "lintian reports errors (status $status)"
    if grep -E "^[EW]: " "$work/lintian.out"; then fail "lintian reports warnings"; fi
    if grep -E " hardening-" "$work/lintian.out"; then fail "lintian reports missing hardening"; fi
    cp "$work/lintian.out" "$build/lintian.out"
fi

if [ "$failures" -ne 0 ]; then
    echo "install_package: $failures checks failed" >&2
    exit 1
fi
echo "install_package: all checks passed"
