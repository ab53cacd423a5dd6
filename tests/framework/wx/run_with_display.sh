#!/bin/sh
# Runs a test program of the GUI back end on a virtual X display of its own
# (a new Xvfb server per run, 1024x768, 24 bits; QEL_XVFB_SCREEN sets
# another size, as WIDTHxHEIGHTxDEPTH). Without xvfb-run the
# program runs with no display and its tests skip themselves.
# GTK keeps its settings in memory (no D-Bus session here) and starts no
# accessibility bus.
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
if command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 ${QEL_XVFB_SCREEN:-1024x768x24}" "$@"
fi
echo "run_with_display: xvfb-run not found; GUI tests are skipped" >&2
exec env -u DISPLAY -u WAYLAND_DISPLAY QEL_GUI_TEST_NO_DISPLAY=1 "$@"
