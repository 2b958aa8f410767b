#!/usr/bin/env bash
# Crawl comparison: copies the generated test site with harbex-cli (fast and
# classic pacing), wget, wget2 and httrack and prints one table: wall time,
# pages per second, peak memory, files saved and broken local links in the copy.
# Not a test; CI does not run it.
#
#     bench/crawl_compare.sh [--harbex PATH] [--pages "200 2000"] [--tools "harbex harbex-classic wget wget2 httrack"]
#                            [--harbex-options "--connections 16"] [--httrack-options "-%N0"] [--keep]
#                            [--site DIR [--start PATH]] [--small-pages | --doc-pages] [--schemes "http https"]
#
# The site (bench/hx_make_site) is served by nginx on a free port of 127.0.0.1,
# with a configuration of its own in a temporary folder. harbex-cli defaults to
# build/app/harbex-cli and runs with HARBEX_HOME in the temporary folder (set up by
# a first untimed start, as an installed program is); its row
# says "not available" while the binary is missing or has no copy command. The
# helper programs are built in $HX_BENCH_BUILD_DIR (default build-bench).
# Each program runs with its defaults (wget with --mirror -p -k -E -np, httrack
# with -q); --harbex-options go after harbex-cli's copy command, --httrack-options
# after httrack's address. --keep leaves the temporary folder (sites, copies,
# logs) in place. --site serves a folder that is already there (a documentation
# tree, say) instead of a generated site, starting at PATH (default index.html);
# its pages column counts the folder's .html and .htm files. --small-pages copies
# hx_make_site's plain site of small pages (about 2 KB each, linked as a tree with
# cross links) instead of the feature-rich test site: try --pages 100000.
# --doc-pages copies hx_make_site's documentation-like site instead: index pages of
# two thousand links each and small topic pages (try --pages 100000).
# A peer program (wget, wget2, httrack) that is missing and cannot be installed is
# left out of the table with a note; nginx and /usr/bin/time are required.
# --schemes "http https" copies each site over http and over https (default: http
# only). For https a test authority and a certificate for 127.0.0.1 are made with
# the openssl command; every tool trusts that authority (harbex-cli through its "CA
# File" setting, wget and wget2 with --ca-certificate), so certificates are checked
# as they would be on the web. https rows are marked "/s", and a second table gives
# the connections and requests nginx logged for each https copy.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${HX_BENCH_BUILD_DIR:-$here/build-bench}
harbex=$here/build/app/harbex-cli
page_counts="200"
tools="harbex wget wget2 httrack"
harbex_options=""
httrack_options=""
keep=0
site_dir=""
start_path=index.html
schemes="http"
site_mode=""

while [ $# -gt 0 ]; do
    case "$1" in
        --harbex) harbex=$2; shift 2 ;;
        --pages) page_counts=$2; shift 2 ;;
        --tools) tools=$2; shift 2 ;;
        --harbex-options) harbex_options=$2; shift 2 ;;
        --httrack-options) httrack_options=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        --site) site_dir=$(cd "$2" && pwd); shift 2 ;;
        --start) start_path=$2; shift 2 ;;
        --schemes) schemes=$2; shift 2 ;;
        --small-pages) site_mode=--small-pages; shift ;;
        --doc-pages) site_mode=--doc-pages; shift ;;
        -h|--help) sed -n '2,34p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "crawl_compare.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

# ---- Programs ----

have() { command -v "$1" >/dev/null 2>&1 || [ -x "/usr/sbin/$1" ]; }

# Missing programs are installed from Debian's packages, but only by root (a
# benchmark never asks for a password); anyone else is told what to install.
missing=()
have nginx || missing+=(nginx)
[ -x /usr/bin/time ] || missing+=(time)
case " $tools " in *" wget "*) have wget || missing+=(wget) ;; esac
case " $tools " in *" httrack "*) have httrack || missing+=(httrack) ;; esac
case " $tools " in *" wget2 "*) have wget2 || missing+=(wget2) ;; esac
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ] && have apt-get; then
        echo "Installing ${missing[*]}" >&2
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null ||
            { apt-get update >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; } ||
            true
    fi
fi
if ! have nginx || [ ! -x /usr/bin/time ]; then
    echo "crawl_compare.sh: please install nginx and time (apt-get install nginx time)" >&2
    exit 2
fi
# Peers that are still missing are left out, with a note.
skipped=()
kept=""
for tool in $tools; do
    case "$tool" in
        wget | wget2 | httrack)
            if ! have "$tool"; then
                skipped+=("$tool")
                continue
            fi
            ;;
    esac
    kept="$kept $tool"
done
tools=$kept
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHX_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target hx_make_site hx_check_links -j "$(nproc)" >/dev/null
make_site=$build_dir/bench/hx_make_site
check_links=$build_dir/bench/hx_check_links

# ---- Temporary folder and nginx ----

# shellcheck source=bench/bench_nginx.sh
. "$(dirname "${BASH_SOURCE[0]}")/bench_nginx.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/hx-crawl-compare.XXXXXX")
nginx_pid=

cleanup() {
    stop_nginx
    if [ "$keep" -eq 1 ]; then
        echo "Kept $work" >&2
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

# ---- Measurements ----


rows=()

# Copies the site with one tool and adds its row to the table.
measure() {
    local tool=$1 pages=$2 url=$3 label=$1${scheme_mark:-}
    local out=$work/$label-$2 log=$work/$label-$2.log timing=$work/$label-$2.time status=0
    local requests_before
    mkdir -p "$out"
    requests_before=$(request_count)
    case "$tool" in
        harbex | harbex-classic)
            local pacing=fast
            [ "$tool" = harbex-classic ] && pacing=classic
            if [ ! -x "$harbex" ] || ! "$harbex" --help 2>&1 | grep -q '^  copy URL'; then
                rows+=("$(printf '%-8s %6s  %s' "$label" "$pages" "not available ($harbex has no copy command)")")
                return
            fi
            mkdir -p "$work/home-$pages"
            # The first-run set-up (settings, profiles, file types) happens once per
            # user, not per copy: it is done before the timed run.
            HARBEX_HOME=$work/home-$pages "$harbex" settings >/dev/null 2>&1 || true
            if [ -n "${harbex_prepare:-}" ]; then "$harbex_prepare" "$work/home-$pages"; fi
            # shellcheck disable=SC2086 # the options are words
            HARBEX_HOME=$work/home-$pages /usr/bin/time -v -o "$timing" \
                "$harbex" --pacing "$pacing" copy "$url" --folder "$out" $harbex_options >"$log" 2>&1 || status=$?
            ;;
        wget2)
            /usr/bin/time -v -o "$timing" \
                wget2 --mirror -p -k -E -np -q ${tls_options:-} -P "$out" "$url" >"$log" 2>&1 || status=$?
            ;;
        wget)
            /usr/bin/time -v -o "$timing" \
                wget --mirror -p -k -E -np -q ${tls_options:-} -P "$out" "$url" >"$log" 2>&1 || status=$?
            ;;
        httrack)
            # shellcheck disable=SC2086 # the options are words
            /usr/bin/time -v -o "$timing" \
                httrack "$url" -O "$out" -q $httrack_options >"$log" 2>&1 || status=$?
            ;;
        *)
            echo "crawl_compare.sh: unknown tool $tool" >&2
            exit 2
            ;;
    esac
    local wall rss files broken rate requests
    requests=$(($(request_count) - requests_before))
    files=$(find "$out" -type f -not -path '*/hts-cache/*' -not -name 'hts-log.txt' | wc -l)
    if [ "$files" -eq 0 ]; then
        rows+=("$(printf '%-8s %6s  %s' "$label" "$pages" "failed with exit status $status: $(head -n 1 "$log")")")
        return
    fi
    wall=$(wall_seconds "$timing")
    rss=$(peak_rss "$timing")
    broken=$("$check_links" "$out" | sed -n 's/^broken local links: \([0-9]*\).*/\1/p')
    rate=$(awk -v p="$pages" -v w="$wall" 'BEGIN { if (w > 0) printf "%.1f", p / w; else print "-" }')
    rows+=("$(printf '%-8s %6s %9s %9s %12s %8s %7s %7s %5s' "$label" "$pages" "$wall" "$rate" "$rss" "$requests" "$files" "$broken" "$status")")
}

# Requests nginx has answered so far (its access log, one line a request; the
# https copies name their server's log in access_log).
request_count() {
    local log=${access_log:-$work/access.log}
    if [ -f "$log" ]; then wc -l <"$log"; else echo 0; fi
}

# Copies the site served from ROOT with every tool.
copy_with_each_tool() {
    local root=$1 pages=$2 extra=$3 url
    # nginx logs every request, so each tool's requests can be counted.
    { cat "$extra"; echo "    access_log $work/access.log;"; } >"$work/extra-logged.conf"
    start_nginx "$root" "$work/extra-logged.conf"
    url=http://127.0.0.1:$port/$4
    echo "Serving $pages pages at $url" >&2
    for tool in $tools; do
        echo "  copying with $tool" >&2
        measure "$tool" "$pages" "$url"
    done
    stop_nginx
}

# ---- https ----

# The https copies: nginx serves the same site over TLS on another free port with a
# certificate for 127.0.0.1 made by a test authority, and logs each request with
# its connection's number, so the table below can say how many connections each
# tool opened.
connection_rows=()
tls_dir=$work/tls

make_certificates() {
    [ -f "$tls_dir/server.pem" ] && return 0
    mkdir -p "$tls_dir"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
        -subj "/CN=Harbex Bench Authority" -keyout "$tls_dir/ca.key" -out "$tls_dir/ca.pem" 2>/dev/null
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=127.0.0.1" \
        -keyout "$tls_dir/server.key" -out "$tls_dir/server.csr" 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
        >"$tls_dir/server.ext"
    openssl x509 -req -in "$tls_dir/server.csr" -CA "$tls_dir/ca.pem" -CAkey "$tls_dir/ca.key" -CAcreateserial \
        -days 2 -extfile "$tls_dir/server.ext" -out "$tls_dir/server.pem" 2>/dev/null
}

# harbex-cli trusts the authority through its "CA File" setting, written into the
# settings file of its HARBEX_HOME after the first-run set-up.
trust_authority() {
    local reg=$1/Harbex.reg key='[HKEY_CURRENT_USER\Software\Tavrolin\Harbex\Settings]'
    grep -q '^"CA File"="[^"]' "$reg" && return 0
    grep -v '^"CA File"=' "$reg" | awk -v key="$key" -v line="\"CA File\"=\"$tls_dir/ca.pem\"" \
        '{ print } $0 == key { print line }' >"$reg.new" && mv "$reg.new" "$reg"
}

copy_with_each_tool_https() {
    local root=$1 pages=$2 extra=$3 url log=$work/nginx-tls/access.log
    make_certificates
    start_nginx "$root" "$extra" "$tls_dir"
    url=https://127.0.0.1:$port/$4
    echo "Serving $pages pages at $url" >&2
    for tool in $tools; do
        echo "  copying with $tool over https" >&2
        : >"$log"
        scheme_mark=/s tls_options="--ca-certificate=$tls_dir/ca.pem" harbex_prepare=trust_authority access_log=$log \
            measure "$tool" "$pages" "$url"
        connection_rows+=("$(printf '%-8s %6s %11s %9s' "$tool/s" "$pages" "$(awk '!seen[$1]++' "$log" | wc -l)" \
            "$(wc -l <"$log")")")
    done
    stop_nginx
}

# Copies one site over each scheme asked for.
copy_over_schemes() {
    for scheme in $schemes; do
        case "$scheme" in
            http) copy_with_each_tool "$@" ;;
            https) copy_with_each_tool_https "$@" ;;
            *) echo "crawl_compare.sh: unknown scheme $scheme" >&2; exit 2 ;;
        esac
    done
}

if [ -n "$site_dir" ]; then
    : >"$work/extra-site.conf"
    copy_over_schemes "$site_dir" "$(find "$site_dir" -type f \( -name '*.html' -o -name '*.htm' \) | wc -l)" \
        "$work/extra-site.conf" "$start_path"
else
    for pages in $page_counts; do
        site=$work/site-$pages
        if [ -n "$site_mode" ]; then
            "$make_site" "$site" "$pages" "$site_mode" --nginx-extra "$work/extra-$pages.conf" >&2
        else
            "$make_site" "$site" "$pages" --nginx-extra "$work/extra-$pages.conf" >&2
        fi
        copy_over_schemes "$site" "$pages" "$work/extra-$pages.conf" index.html
    done
fi

echo
printf '%-8s %6s %9s %9s %12s %8s %7s %7s %5s\n' tool pages "wall s" "pages/s" "peak RSS KB" requests files broken exit
for row in "${rows[@]}"; do
    echo "$row"
done
echo
echo "pages/s: pages of the site divided by wall time; requests: requests nginx answered during the copy;"
echo "files: regular files saved (httrack's cache left out);"
echo "broken: local links of saved pages naming no file (hx_check_links); exit: the tool's exit status"
echo "(wget exits 8 when the server answered an error, as it does for the site's missing page)."
for tool in "${skipped[@]}"; do
    echo "$tool: not installed, left out (apt-get install $tool)"
done
if [ ${#connection_rows[@]} -gt 0 ]; then
    echo
    printf '%-8s %6s %11s %9s\n' tool pages connections requests
    for row in "${connection_rows[@]}"; do
        echo "$row"
    done
    echo
    echo "connections and requests: as nginx logged them for each https copy (one line per request,"
    echo "with its connection's serial number)."
fi
