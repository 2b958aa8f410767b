#!/usr/bin/env bash
# Sets up the machine, builds, and runs Harbex. With no arguments and a display
# ($DISPLAY or $WAYLAND_DISPLAY) it starts the windowed program harbex; without a
# display it runs harbex-cli, which copies the bundled sample site from a server
# on 127.0.0.1. Arguments are handed to harbex-cli.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$here/${HX_BUILD_DIR:-build}"
# Only the two programs are built here, not the tests and benchmarks
# (./scripts/test.sh builds everything); a build configured without the windows
# has only the command-line program.
programs="harbex-cli harbex"
if grep -q '^HX_BUILD_GUI:BOOL=OFF$' "$build/CMakeCache.txt" 2>/dev/null; then
    programs="harbex-cli"
fi
HX_BUILD_TARGET="$programs" "$here/scripts/setup.sh" >&2
if [ $# -eq 0 ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && [ -x "$build/app/harbex" ]; then
    exec "$build/app/harbex"
fi
exec "$build/app/harbex-cli" "$@"
