#!/usr/bin/env bash
# Makes the program's pictures from the hand-drawn SVG sources in art/.
#
# Rerun after changing anything under art/:   ./scripts/make_art.sh
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert. The results are
# checked in, so building Harbex needs neither tool.
#
# Writes:
#   data/Skins/Default/, data/Skins/Night/   the skin pictures: logo animation, view bar,
#       tool and status buttons (.bmp with an alpha channel, plus name@2x.png at twice the
#       size) and the report decorations (backgrnd.jpg, diamond.gif, html.gif, images.gif,
#       www.gif)
#   shell/ui/pictures/   state images of the task list and the explore view and the tray
#       icon, as name.png and name@2x.png (and tray@4x.png), compiled into the program
#
# Buttons and logo sit on a rounded tile (light in Default, dark in Night). The Night
# skin is the same drawings in other colours; and its report pictures and view bar take a teal and amber set
# that stays readable under black text and on the light report pages.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
art="$root/art"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in rsvg-convert convert; do
    command -v "$tool" >/dev/null || { echo "make_art.sh: $tool is missing" >&2; exit 1; }
done

# The Default colours every source uses, and what each palette turns them into.
#              primary  outline  light    accent   white    alarm    paper
default_pal=(  1F5FA8   163E6E   DCE8F6   F08A24   FFFFFF   D64531   F6F9FC )
night_pal=(    3CC6B0   CFF5EE   24384A   FFC845   1B2833   FF6B5B   1B2833 )
night_rep_pal=( 1E9E8A  14323A   D5F0EA   E0A100   FFFFFF   C8473A   F4F5F1 )

# recolor SOURCE DEST PALETTE...: the SVG with the Default colours swapped for the palette's.
recolor() {
    local source=$1 dest=$2
    shift 2
    local -a pal=("$@") script=()
    for i in "${!default_pal[@]}"; do
        # Through a placeholder so a palette may reuse a Default colour without clashes.
        script+=(-e "s/#${default_pal[$i]}/#@$i@/gI")
    done
    for i in "${!pal[@]}"; do
        script+=(-e "s/#@$i@/#${pal[$i]}/g")
    done
    sed "${script[@]}" "$source" >"$dest"
}

# on_tile SVG COLOUR: puts a rounded tile behind the drawing, so buttons and logo read
# on whatever colour the window's tool band has.
on_tile() {
    sed -i -e "0,/<svg[^>]*>/s//&<rect width=\"100%\" height=\"100%\" rx=\"18%\" fill=\"$2\"\/>/" "$1"
}

# png SVG OUT SCALE: renders at SCALE times the SVG's own size.
png() {
    rsvg-convert --zoom="$3" --format=png --output="$2" "$1"
}

# bmp PNG OUT: a 32-bit BMP that keeps the alpha channel.
bmp() {
    convert "$1" -define bmp:format=bmp4 "BMP:$2"
}

# gif PNG OUT MATTE: edges blended onto MATTE (the colour the picture is shown on),
# then only the nearly clear pixels made transparent, as GIF allows no more.
gif() {
    convert "$1" \( +clone -background "$3" -flatten \) \( -clone 0 -alpha extract -threshold 40% \) \
        -delete 0 -alpha off -compose CopyOpacity -composite "$2"
}

buttons=(new open dwnloads hxmode pimode addtocur help go run stop)
reports=(diamond html images www)

# make_skin NAME PALETTE_VAR REPORT_PALETTE_VAR TILE REPORT_MATTE
make_skin() {
    local name=$1 tile=$4 matte=$5
    local -n pal=$2 rpal=$3
    local out="$root/data/Skins/$name" tmp="$work/$name"
    mkdir -p "$out" "$tmp"

    for b in "${buttons[@]}"; do
        recolor "$art/$b.svg" "$tmp/$b.svg" "${pal[@]}"
        on_tile "$tmp/$b.svg" "$tile"
        png "$tmp/$b.svg" "$tmp/$b.png" 1
        bmp "$tmp/$b.png" "$out/$b.bmp"
        png "$tmp/$b.svg" "$out/$b@2x.png" 2
    done

    # The logo animation: the arrow goes once round the globe in eight frames.
    local frames=() frames2=()
    for k in 0 1 2 3 4 5 6 7; do
        sed "s/ANGLE/$((k * 45))/" "$art/hxanim.svg" >"$tmp/anim$k.src.svg"
        recolor "$tmp/anim$k.src.svg" "$tmp/anim$k.svg" "${pal[@]}"
        on_tile "$tmp/anim$k.svg" "$tile"
        png "$tmp/anim$k.svg" "$tmp/anim$k.png" 1
        png "$tmp/anim$k.svg" "$tmp/anim$k@2x.png" 2
        frames+=("$tmp/anim$k.png")
        frames2+=("$tmp/anim$k@2x.png")
    done
    convert -delay 12 -loop 0 -dispose background "${frames[@]}" "$out/hxanim.gif"
    convert -delay 12 -loop 0 -dispose background "${frames2[@]}" "$out/hxanim@2x.gif"

    # The view bar carries black link texts, so it takes the light colours of the reports.
    recolor "$art/screensbar.svg" "$tmp/screensbar.svg" "${rpal[@]}"
    png "$tmp/screensbar.svg" "$tmp/screensbar.png" 1
    convert "$tmp/screensbar.png" -alpha off "$out/screensbar.gif"

    recolor "$art/report/backgrnd.svg" "$tmp/backgrnd.svg" "${rpal[@]}"
    png "$tmp/backgrnd.svg" "$tmp/backgrnd.png" 1
    convert "$tmp/backgrnd.png" -alpha off -quality 92 -strip "$out/backgrnd.jpg"
    for r in "${reports[@]}"; do
        recolor "$art/report/$r.svg" "$tmp/$r.svg" "${rpal[@]}"
        png "$tmp/$r.svg" "$tmp/$r.png" 1
        gif "$tmp/$r.png" "$out/$r.gif" "$matte"
    done
}

make_skin Default default_pal default_pal "#EEF3FA" "#DEE9F3"
make_skin Night night_pal night_rep_pal "#111B24" "#DEE9F3"

# The pictures compiled into the program: one colour set, shown on list rows and panels.
pictures="$root/shell/ui/pictures"
mkdir -p "$pictures"
for source in "$art"/state/*.svg; do
    base=$(basename "$source" .svg)
    png "$source" "$pictures/$base.png" 1
    png "$source" "$pictures/$base@2x.png" 2
done
png "$art/tray.svg" "$pictures/tray.png" 1
png "$art/tray.svg" "$pictures/tray@2x.png" 2
png "$art/tray.svg" "$pictures/tray@4x.png" 4

echo "make_art.sh: pictures written to data/Skins/Default, data/Skins/Night and shell/ui/pictures"
