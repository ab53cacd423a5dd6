#!/bin/sh
# Runs a test program of the GUI back end on a virtual X display of its own:
# a new Xvfb server per run (1024x768, 24 bits; QEL_XVFB_SCREEN sets another
# size, as WIDTHxHEIGHTxDEPTH). The server picks a free display number itself
# and tells it through -displayfd, so that runs side by side, and any other X
# server started meanwhile, never race for a number. The server is ended
# when the program ends, and dies with this script when the script is
# killed (parent death signal), so none is left behind. Without Xvfb the
# program runs with no display and its tests skip themselves.
# GTK keeps its settings in memory (no D-Bus session here) and starts no
# accessibility bus.
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
unset WAYLAND_DISPLAY
if ! command -v Xvfb > /dev/null 2>&1; then
  echo "run_with_display: Xvfb not found; GUI tests are skipped" >&2
  exec env -u DISPLAY QEL_GUI_TEST_NO_DISPLAY=1 "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qel-xvfb-XXXXXX") || exit 1
mkfifo "$work/displayfd" || exit 1
# The server writes its display number to descriptor 3 once it accepts
# connections; reading the pipe waits for that, or for its end when the
# server fails to start.
setpriv --pdeathsig TERM Xvfb -displayfd 3 -nolisten tcp -screen 0 "${QEL_XVFB_SCREEN:-1024x768x24}" \
  3> "$work/displayfd" 2> "$work/xvfb.log" &
xvfb=$!
read -r number < "$work/displayfd"
if [ -z "$number" ]; then
  echo "run_with_display: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  kill "$xvfb" 2> /dev/null
  wait "$xvfb"
  rm -rf "$work"
  exit 1
fi

stop() {
  kill "$xvfb" 2> /dev/null
  wait "$xvfb"
  rm -rf "$work"
}
trap 'stop; exit 143' TERM
trap 'stop; exit 130' INT

DISPLAY=":$number" "$@"
status=$?
stop
exit "$status"
