#!/usr/bin/env bash
# Peak memory of a copy whose start page links to one large page at an address
# without extension (such an address counts as a page; it is asked for as a folder,
# "big/", which the server answers with big/index.html). Prints harbex-cli's peak
# resident size (/usr/bin/time -v) and whether the large page was parsed (its
# link to x.htm followed). Not a test; CI does not run it.
#
#     bench/big_page_memory.sh [--size-mb 500] [--max-page-size MB] [--harbex PATH] [--keep]
#
# The site is served by python3's http.server on a free port of 127.0.0.1.
# harbex-cli runs with HARBEX_HOME in a temporary folder; --max-page-size writes
# the "Max Page Size" setting (megabytes) before the copy (default: the program's).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
harbex=$here/build/app/harbex-cli
size_mb=500
max_page_size=""
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
        --size-mb) size_mb=$2; shift 2 ;;
        --max-page-size) max_page_size=$2; shift 2 ;;
        --harbex) harbex=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "big_page_memory.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

work=$(mktemp -d)
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
    if [ "$keep" = 0 ]; then rm -rf "$work"; else echo "kept: $work"; fi
}
trap cleanup EXIT

mkdir -p "$work/site/big" "$work/home"
printf '<html><head><title>Start</title></head><body><a href="big">big</a></body></html>\n' >"$work/site/index.html"
printf '<html><body>x</body></html>\n' >"$work/site/big/x.htm"
python3 - "$work/site/big/index.html" "$size_mb" <<'PY'
import sys
path, megabytes = sys.argv[1], int(sys.argv[2])
line = b"<p>Some running text of a very large page, line after line.</p>\n" * 16
with open(path, "wb") as out:
    out.write(b'<html><head><title>Big</title></head><body><a href="x.htm">x</a>\n')
    written = 0
    while written < megabytes * 1024 * 1024:
        out.write(line)
        written += len(line)
    out.write(b"</body></html>\n")
PY

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(cd "$work/site" && exec python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>&1) &
server_pid=$!
for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$port/index.html" && break
    sleep 0.1
done

export HARBEX_HOME=$work/home
"$harbex" settings >/dev/null
if [ -n "$max_page_size" ]; then
    sed -i "/^\[HKEY_CURRENT_USER\\\\Software\\\\Tavrolin\\\\Harbex\\\\Settings\]/a \"Max Page Size\"=dword:$(printf '%08x' "$max_page_size")" \
        "$work/home/Harbex.reg"
fi
/usr/bin/time -v "$harbex" copy "http://127.0.0.1:$port/index.html" --folder "$work/copy" >"$work/copy.log" 2>"$work/time.log"
peak_kb=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$work/time.log")
elapsed=$(sed -n 's/^\s*Elapsed (wall clock) time.*: //p' "$work/time.log")
parsed=no
if find "$work/copy" -name x.htm | grep -q .; then parsed=yes; fi
big=$(find "$work/copy" -path '*big*' -type f -size +1M -printf '%s\n' | head -1)
echo "page: ${size_mb} MB  Max Page Size: ${max_page_size:-default}  peak RSS: $((peak_kb / 1024)) MB  wall: $elapsed  big page parsed: $parsed  saved bytes: ${big:-none}"
