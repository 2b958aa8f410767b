#!/usr/bin/env bash
# Formats the project's sources with .clang-format. With --check, changes
# nothing: lists the files that are not formatted and exits non-zero when there
# are any (scripts/test.sh runs it so an unformatted tree fails the tests).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! command -v clang-format >/dev/null; then
    echo "clang-format is not installed (scripts/setup.sh installs it)" >&2
    exit 1
fi
if [ "${1:-}" = "--check" ]; then
    # clang-format names every file it would change in lines "file:line:column: ...".
    report=$(clang-format --dry-run "${files[@]}" 2>&1 || true)
    mapfile -t unformatted < <(grep -oE '^[^:]+:[0-9]+:[0-9]+: ' <<<"$report" | cut -d: -f1 | sort -u)
    if [ ${#unformatted[@]} -gt 0 ]; then
        echo "Not formatted (run scripts/format.sh):" >&2
        printf '  %s\n' "${unformatted[@]}" >&2
        exit 1
    fi
    echo "All ${#files[@]} source files are formatted."
else
    clang-format -i "${files[@]}"
fi
