#!/bin/sh
# Runs the dialog tests under a virtual X server. Only when none can be
# started do they run without a display, where each one reports a skip.
# GTK and its libraries keep caches for the process's life; those are not
# our leaks.
here="$(cd "$(dirname "$0")" && pwd)"
export LSAN_OPTIONS="suppressions=$here/lsan-gui.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
if command -v xvfb-run >/dev/null 2>&1 && xvfb-run -a true >/dev/null 2>&1; then
  exec xvfb-run -a "$@"
fi
echo "run_ui_test: no X server could be started; the dialog tests will skip" >&2
unset DISPLAY
exec "$@"
