#!/usr/bin/env bash
# Sets up the machine, builds, and runs harbex-cli with the given arguments
# (by default it prints the effective settings).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh" >&2
if [ $# -eq 0 ]; then
    set -- settings
fi
exec "$here/${HX_BUILD_DIR:-build}/app/harbex-cli" "$@"
