#!/usr/bin/env bash
# Makes the program's menu icons from art/harbex.svg: PNG files in every size of
# the hicolor icon theme, and the SVG itself as the scalable icon. The results are
# checked in under dist/icons/hicolor/, so building needs no SVG renderer; run this
# again after changing the drawing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source_svg="$here/art/harbex.svg"
theme="$here/dist/icons/hicolor"

command -v rsvg-convert >/dev/null || { echo "make_icons.sh: rsvg-convert is needed (apt install librsvg2-bin)" >&2; exit 1; }

for size in 16 22 24 32 48 64 128 256; do
    folder="$theme/${size}x${size}/apps"
    mkdir -p "$folder"
    rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio "$source_svg" --output "$folder/harbex.png"
done
mkdir -p "$theme/scalable/apps"
cp "$source_svg" "$theme/scalable/apps/harbex.svg"
echo "Icons written under $theme"
