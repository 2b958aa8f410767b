#!/usr/bin/env bash
# Brings translations/*.ts up to date with the windows' sources: lupdate reads
# every tr() of the ui/ folders and app/, adds the new captions (unfinished, to
# be translated) and drops those the sources no longer have. No line numbers are
# kept, so moving code leaves the files alone.
# With a folder, updates the .ts files in that folder instead (the translations
# test runs it on copies and compares). LUPDATE names the lupdate program.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
into=$(cd "${1:-$here/translations}" && pwd)
lupdate=${LUPDATE:-$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)}
cd "$here"

sources=(core/ui shell/ui archive/ui schedule/ui monitor/ui app)
options=(-silent -no-obsolete -locations none -extensions cpp,h -I . -source-language en)

# The untranslated list a new language starts from.
"$lupdate" "${options[@]}" "${sources[@]}" -ts "$into/harbex.ts"
for ts in "$into"/harbex_*.ts; do
    language=$(basename "$ts" .ts)
    "$lupdate" "${options[@]}" -target-language "${language#harbex_}" "${sources[@]}" -ts "$ts"
done
