#!/usr/bin/env bash
# Sets up the machine, builds, and runs harbex-cli with the given arguments
# (with none it copies the bundled sample site from a server on 127.0.0.1).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh" >&2
exec "$here/${HX_BUILD_DIR:-build}/app/harbex-cli" "$@"
