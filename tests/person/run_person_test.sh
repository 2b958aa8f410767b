#!/usr/bin/env bash
# Runs the person-level test in a display and a session bus of its own: Xvfb for
# the windows (it picks a free display itself and tells which, so parallel runs on
# one machine do not collide as xvfb-run -a can), dbus-run-session for the bus the
# accessibility bus is started from.
#
# -noreset: without it the X server resets itself whenever its last client leaves.
# The accessibility bus launcher connects, sets its root window property and leaves
# just as harbex starts; a harbex that connects during that reset is refused and
# aborts with "could not connect to display".
# Usage: run_person_test.sh HARBEX_PROGRAM SITE_FOLDER
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 30 number <"$work/display" || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$number"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The test's own files (HARBEX_HOME, the stand-in opener) go with the rest.
export TMPDIR="$work"
# The Python that has the accessibility bindings, whatever python3 PATH finds first.
status=0
dbus-run-session -- /usr/bin/python3 "$here/person_test.py" "$@" || status=$?
if [ "$status" != 0 ]; then echo "Xvfb on $DISPLAY said:"; cat "$work/xvfb.log"; fi
exit "$status"
