#!/usr/bin/env bash
# Makes the pictures of the help pages and the README again from the windows as
# they are: runs `harbex --screenshots` at 100% scale on Qt's offscreen platform
# (it copies the bundled sample site from a server of its own on 127.0.0.1), then
# copies every picture into data/help/images/ and the four the README shows into
# docs/. The pictures are made smaller with optipng when it is installed.
#
#   ./scripts/update_docs_screenshots.sh [BUILD_DIR]     (default: build)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-"$here/build"}
harbex="$build/app/harbex"
if [ ! -x "$harbex" ]; then
    echo "update_docs_screenshots: $harbex is not built (cmake --build $build --target harbex)" >&2
    exit 1
fi

shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
# A desktop proxy would be asked for the local server's pages; the scale is 100%.
env -u http_proxy -u HTTP_PROXY -u https_proxy -u HTTPS_PROXY \
    QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1 "$harbex" --screenshots "$shots" 2> >(grep -v "propagateSizeHints\|does not support raise\|XDG_RUNTIME_DIR" >&2)

images="$here/data/help/images"
docs="$here/docs"
mkdir -p "$images" "$docs"
rm -f "$images"/*.png
cp "$shots"/*.png "$images"/
# The README's four: the main window copying a site, the Tasks view, the task
# editor and the explore view.
for name in main-tasks-running main-tasks-done editor-1 main-explore; do
    if [ ! -f "$shots/$name.png" ]; then
        echo "update_docs_screenshots: the screenshot program made no $name.png" >&2
        exit 1
    fi
    cp "$shots/$name.png" "$docs/$name.png"
done

if command -v optipng > /dev/null; then
    optipng -quiet -o2 -strip all "$images"/*.png "$docs"/*.png
else
    echo "update_docs_screenshots: optipng is not installed; the pictures are kept as made" >&2
fi
echo "update_docs_screenshots: $(ls "$images"/*.png | wc -l) pictures in $images, 4 in $docs"
