#!/usr/bin/env bash
# Checks the task-file MIME type the way the desktop reads it: builds a MIME
# database from the package's XML alone and looks for the *.hxt glob, and checks
# the desktop entry opens that type.
# Usage: mime_test.sh MIME_XML DESKTOP_FILE
set -euo pipefail
mime_xml=$(realpath "${1:?MIME XML}")
desktop=$(realpath "${2:?desktop file}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mime/packages"
cp "$mime_xml" "$work/mime/packages/harbex.xml"
XDG_DATA_DIRS="$work" update-mime-database "$work/mime"
grep -qx '50:application/x-harbex-task:\*\.hxt' "$work/mime/globs2" || {
    cat "$work/mime/globs2"
    echo "FAIL: no *.hxt glob for application/x-harbex-task"
    exit 1
}
grep -qx 'application/x-harbex-task' "$work/mime/types" || {
    echo "FAIL: application/x-harbex-task is not a known type"
    exit 1
}
grep -qx 'MimeType=application/x-harbex-task;' "$desktop" || {
    echo "FAIL: the desktop entry does not open task files"
    exit 1
}
grep -q 'x-scheme-handler' "$desktop" && {
    echo "FAIL: the desktop entry claims a URL scheme"
    exit 1
}
grep -qx 'Exec=harbex %f' "$desktop" || {
    echo "FAIL: the desktop entry does not hand the file to harbex"
    exit 1
}
echo "task-file MIME type: all checks passed"
