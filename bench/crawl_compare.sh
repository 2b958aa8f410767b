#!/usr/bin/env bash
# Crawl comparison: copies a site served by nginx on 127.0.0.1 with harbex-cli
# (fast and classic pacing), wget, wget2 and httrack, round after round with the
# programs taking turns, and prints the medians: wall time and peak memory per
# program for each site, scheme and output file system, with the requests,
# connections, files saved and broken local links of the copies.
# Not a test; CI does not run it.
#
#     bench/crawl_compare.sh [--harbex PATH] [--pages "200 2000"] [--tools "harbex harbex-classic wget wget2 httrack"]
#                            [--harbex-options "--connections 16"] [--httrack-options "-%N0"] [--keep]
#                            [--site DIR [--start PATH] [--site-only] | --python-docs [DIR]]
#                            [--small-pages | --doc-pages] [--schemes "http https h2"]
#                            [--rounds 5] [--outputs "disk tmpfs"]
#
# The site (bench/hx_make_site) is served by nginx on a free port of 127.0.0.1,
# with a configuration of its own in a temporary folder. harbex-cli defaults to
# build/app/harbex-cli and runs with a HARBEX_HOME of its own for every copy, made
# from one set up by a first untimed start (as an installed program is); its row
# says "not available" while the binary is missing or has no copy command. The
# helper programs are built in $HX_BENCH_BUILD_DIR (default build-bench).
# Each program runs with its defaults (wget and wget2 with --mirror -p -k -E -np,
# httrack with -q); --harbex-options go after harbex-cli's copy command,
# --httrack-options after httrack's address. --keep leaves the temporary folders
# (sites, copies, logs) in place; otherwise each copy is removed once counted.
# --site serves a folder that is already there (a documentation tree, say) instead
# of a generated site, starting at PATH (default index.html); its pages column
# counts the folder's .html and .htm files. --site-only limits harbex-cli to files
# on the site (a profile "Site Only": "Whole Site" with "Resource Location" 1);
# wget and wget2 stay on the site's host by default. --python-docs copies the
# Python documentation tree (default /usr/share/doc/python3/html, Debian's
# python3-doc, installed when missing) that way: its pages link many files on
# other hosts, which no program fetches.
# --small-pages copies hx_make_site's plain site of small pages (about 2 KB each,
# linked as a tree with cross links) instead of the feature-rich test site: try
# --pages 100000. --doc-pages copies hx_make_site's documentation-like site
# instead: index pages of two thousand links each and small topic pages.
# A peer program (wget, wget2, httrack) that is missing and cannot be installed is
# left out of the table with a note; nginx, /usr/bin/time and python3 are required.
# --schemes "http https h2" copies each site over http, over https and over https
# with HTTP/2 offered (default: http only). For https a test authority and a
# certificate for 127.0.0.1 are made with the openssl command; every tool trusts
# that authority (harbex-cli through its "CA File" setting, wget and wget2 with
# --ca-certificate), so certificates are checked as they would be on the web. On
# the h2 rows nginx offers HTTP/2 by ALPN: a program that does not ask for it gets
# HTTP/1.1, and the protocol column says what each program spoke.
# --rounds N (default 5) copies each site N times with every program; within a
# round the programs take turns, each round starting with the next one. --outputs
# says where the copies are written: "disk" (under the temporary folder, in
# ${TMPDIR:-/tmp}) and "tmpfs" (under /dev/shm); default both, taking turns too.
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
site_name=""
site_only=0
start_path=index.html
schemes="http"
site_mode=""
rounds=5
outputs="disk tmpfs"
python_docs=""

while [ $# -gt 0 ]; do
    case "$1" in
        --harbex) harbex=$2; shift 2 ;;
        --pages) page_counts=$2; shift 2 ;;
        --tools) tools=$2; shift 2 ;;
        --harbex-options) harbex_options=$2; shift 2 ;;
        --httrack-options) httrack_options=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        --site) site_dir=$2; shift 2 ;;
        --start) start_path=$2; shift 2 ;;
        --site-only) site_only=1; shift ;;
        --python-docs)
            python_docs=/usr/share/doc/python3/html
            if [ $# -gt 1 ] && [ "${2#--}" = "$2" ]; then python_docs=$2; shift; fi
            shift ;;
        --schemes) schemes=$2; shift 2 ;;
        --small-pages) site_mode=--small-pages; shift ;;
        --doc-pages) site_mode=--doc-pages; shift ;;
        --rounds) rounds=$2; shift 2 ;;
        --outputs) outputs=$2; shift 2 ;;
        -h|--help) sed -n '2,50p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "crawl_compare.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
case "$rounds" in '' | *[!0-9]* | 0) echo "crawl_compare.sh: --rounds takes a number from 1" >&2; exit 2 ;; esac
for output in $outputs; do
    case "$output" in disk | tmpfs) ;; *) echo "crawl_compare.sh: unknown output $output" >&2; exit 2 ;; esac
done
for scheme in $schemes; do
    case "$scheme" in http | https | h2) ;; *) echo "crawl_compare.sh: unknown scheme $scheme" >&2; exit 2 ;; esac
done

# ---- Programs ----

have() { command -v "$1" >/dev/null 2>&1 || [ -x "/usr/sbin/$1" ]; }

# Missing programs (and the Python documentation) are installed from Debian's
# packages, but only by root (a benchmark never asks for a password); anyone else
# is told what to install.
missing=()
have nginx || missing+=(nginx)
have python3 || missing+=(python3)
[ -x /usr/bin/time ] || missing+=(time)
case " $tools " in *" wget "*) have wget || missing+=(wget) ;; esac
case " $tools " in *" httrack "*) have httrack || missing+=(httrack) ;; esac
case " $tools " in *" wget2 "*) have wget2 || missing+=(wget2) ;; esac
if [ "$python_docs" = /usr/share/doc/python3/html ] && [ ! -f "$python_docs/index.html" ]; then
    missing+=(python3-doc)
fi
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ] && have apt-get; then
        echo "Installing ${missing[*]}" >&2
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null ||
            { apt-get update >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; } ||
            true
    fi
fi
if ! have nginx || ! have python3 || [ ! -x /usr/bin/time ]; then
    echo "crawl_compare.sh: please install nginx, python3 and time (apt-get install nginx python3 time)" >&2
    exit 2
fi
if [ -n "$python_docs" ]; then
    if [ ! -f "$python_docs/index.html" ]; then
        echo "crawl_compare.sh: no Python documentation in $python_docs (apt-get install python3-doc)" >&2
        exit 2
    fi
    site_dir=$python_docs
    site_name=python-docs
    site_only=1
fi
[ -n "$site_dir" ] && site_dir=$(cd "$site_dir" && pwd -P)
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
read -r -a tool_list <<<"$kept"
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHX_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target hx_make_site hx_check_links -j "$(nproc)" >/dev/null
make_site=$build_dir/bench/hx_make_site
check_links=$build_dir/bench/hx_check_links

# ---- Temporary folders and nginx ----

# shellcheck source=bench/bench_nginx.sh
. "$(dirname "${BASH_SOURCE[0]}")/bench_nginx.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/hx-crawl-compare.XXXXXX")
nginx_pid=
results=$work/results.tsv
: >"$results"
declare -A output_root=([disk]=$work/copies)
mkdir -p "$work/copies"
case " $outputs " in
    *" tmpfs "*)
        if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ]; then
            output_root[tmpfs]=$(mktemp -d /dev/shm/hx-crawl-compare.XXXXXX)
        else
            echo "crawl_compare.sh: /dev/shm is not a tmpfs here; the tmpfs rows are left out" >&2
            outputs=${outputs//tmpfs/}
        fi
        ;;
esac
if [ "$(stat -f -c %T "$work")" = tmpfs ]; then
    echo "crawl_compare.sh: note: ${TMPDIR:-/tmp} is a tmpfs, so the disk rows are written to memory too" >&2
fi

cleanup() {
    stop_nginx
    if [ "$keep" -eq 1 ]; then
        echo "Kept $work ${output_root[tmpfs]:-}" >&2
    else
        rm -rf "$work" "${output_root[tmpfs]:-}"
    fi
}
trap cleanup EXIT

# ---- https ----

tls_dir=$work/tls
case " $schemes " in *" https "* | *" h2 "*) make_test_certificates "$tls_dir" ;; esac

# ---- harbex-cli's home ----

# The first-run set-up (settings, profiles, file types) happens once per user, not
# per copy: it is done once, untimed, and every copy starts from a copy of that
# home, so no copy finds an earlier one's task. The home trusts the test authority
# through its "CA File" setting and has the profile "Site Only".
harbex_ready=0
home_template=$work/home-template
# The help is read whole first: grep -q leaving early would end harbex-cli with
# SIGPIPE, which pipefail counts as a failure.
harbex_help=
if [ -x "$harbex" ]; then harbex_help=$("$harbex" --help 2>&1 || true); fi
if grep -q '^  copy URL' <<<"$harbex_help"; then
    harbex_ready=1
    mkdir -p "$home_template"
    HARBEX_HOME=$home_template "$harbex" settings >/dev/null 2>&1 || true
    if [ -f "$tls_dir/ca.pem" ]; then
        trust_test_authority "$home_template" "$tls_dir/ca.pem" || { echo "crawl_compare.sh: could not set harbex-cli's CA File" >&2; exit 1; }
    fi
    if [ -f "$home_template/Profiles/Whole Site.hxp" ]; then
        sed -e 's/^Profile Name=.*/Profile Name=Site Only/' -e 's/^Resource Location=.*/Resource Location=1/' \
            "$home_template/Profiles/Whole Site.hxp" >"$home_template/Profiles/Site Only.hxp"
    elif [ "$site_only" -eq 1 ]; then
        echo "crawl_compare.sh: harbex-cli's home has no profile Whole Site to limit to the site" >&2
        exit 1
    fi
fi

# ---- Measurements ----

# Requests nginx has answered so far (its access log, one line a request).
request_count() {
    if [ -f "$access_log" ]; then wc -l <"$access_log"; else echo 0; fi
}

# Copies the site at `url` with one tool into the output file system and adds a
# line to the results: row, tool, wall seconds, peak RSS KB, requests,
# connections, protocol, files, broken links, exit status.
measure() {
    local tool=$1 row=$2 url=$3 output=$4 round=$5
    local out=${output_root[$output]}/$tool-$round log=$work/logs/$row-$tool-$round.log
    local timing=$work/logs/$row-$tool-$round.time status=0 requests_before connections=- protocol=-
    mkdir -p "$out" "$work/logs"
    [ "$tls_log" = 1 ] && : >"$access_log"
    requests_before=$(request_count)
    case "$tool" in
        harbex | harbex-classic)
            local pacing=fast profile=()
            [ "$tool" = harbex-classic ] && pacing=classic
            [ "$site_only" -eq 1 ] && profile=(--profile "Site Only")
            rm -rf "${work:?}/home"
            cp -a "$home_template" "$work/home"
            # shellcheck disable=SC2086 # the options are words
            HARBEX_HOME=$work/home /usr/bin/time -v -o "$timing" \
                "$harbex" --pacing "$pacing" copy "$url" --folder "$out" "${profile[@]}" $harbex_options \
                >"$log" 2>&1 || status=$?
            ;;
        wget2 | wget)
            # shellcheck disable=SC2086 # the options are words
            /usr/bin/time -v -o "$timing" \
                "$tool" --mirror -p -k -E -np -q ${tls_options:-} -P "$out" "$url" >"$log" 2>&1 || status=$?
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
    local requests files broken wall rss
    requests=$(($(request_count) - requests_before))
    if [ "$tls_log" = 1 ]; then
        connections=$(awk '!seen[$1]++' "$access_log" | wc -l)
        protocol=$(awk '{ n[$5]++ } END { for (p in n) if (n[p] > best) { best = n[p]; name = p } print name }' \
            "$access_log")
    fi
    files=$(find "$out" -type f -not -path '*/hts-cache/*' -not -name 'hts-log.txt' | wc -l)
    if [ "$files" -eq 0 ]; then
        printf '%s\t%s\tfailed\t%s\n' "$row" "$tool" "exit status $status: $(head -n 1 "$log")" >>"$results"
    else
        wall=$(wall_seconds "$timing")
        rss=$(peak_rss "$timing")
        broken=$("$check_links" "$out" | sed -n 's/^broken local links: \([0-9]*\).*/\1/p')
        printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$row" "$tool" "$wall" "$rss" "$requests" \
            "$connections" "$protocol" "$files" "$broken" "$status" >>"$results"
    fi
    [ "$keep" -eq 1 ] || rm -rf "$out"
}

# Copies one site, served from ROOT, over one scheme: every round each tool copies
# it once to each output, the tools (and outputs) taking turns.
copy_site() {
    local root=$1 label=$2 extra=$3 start=$4 scheme=$5 url round output i n=${#tool_list[@]}
    case "$scheme" in
        http)
            # nginx logs every request, so each tool's requests can be counted.
            { cat "$extra"; echo "    access_log $work/access.log;"; } >"$work/extra-logged.conf"
            start_nginx "$root" "$work/extra-logged.conf"
            url=http://127.0.0.1:$port/$start
            access_log=$work/access.log tls_log=0 tls_options=
            ;;
        https | h2)
            start_nginx "$root" "$extra" "$tls_dir" "$([ "$scheme" = h2 ] && echo http2)"
            url=https://127.0.0.1:$port/$start
            access_log=$work/nginx-tls/access.log tls_log=1 tls_options="--ca-certificate=$tls_dir/ca.pem"
            ;;
    esac
    echo "Serving $label at $url" >&2
    for round in $(seq 1 "$rounds"); do
        for output in $outputs; do
            for i in $(seq 0 $((n - 1))); do
                local tool=${tool_list[$(((i + round - 1) % n))]}
                if [[ "$tool" == harbex* ]] && [ "$harbex_ready" -eq 0 ]; then
                    printf '%s\t%s\tfailed\t%s\n' "$label|$scheme|$output" "$tool" \
                        "not available ($harbex has no copy command)" >>"$results"
                    continue
                fi
                echo "  round $round, $output: $tool" >&2
                measure "$tool" "$label|$scheme|$output" "$url" "$output" "$round"
            done
        done
    done
    stop_nginx
}

if [ -n "$site_dir" ]; then
    : >"$work/extra-site.conf"
    pages=$(find "$site_dir" -type f \( -name '*.html' -o -name '*.htm' \) | wc -l)
    label="${site_name:-$(basename "$site_dir")} $pages"
    [ "$site_only" -eq 1 ] && label="$label site-only"
    for scheme in $schemes; do
        copy_site "$site_dir" "$label" "$work/extra-site.conf" "$start_path" "$scheme"
    done
else
    for pages in $page_counts; do
        site=$work/site-$pages
        if [ -n "$site_mode" ]; then
            "$make_site" "$site" "$pages" "$site_mode" --nginx-extra "$work/extra-$pages.conf" >&2
        else
            "$make_site" "$site" "$pages" --nginx-extra "$work/extra-$pages.conf" >&2
        fi
        for scheme in $schemes; do
            copy_site "$site" "${site_mode:+${site_mode#--} }$pages" "$work/extra-$pages.conf" index.html "$scheme"
        done
    done
fi

# ---- Table ----

echo
python3 - "$results" "$rounds" "${tool_list[@]}" <<'PY'
import collections, statistics, sys

path, rounds, tools = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
runs = collections.defaultdict(list)
failures = collections.defaultdict(list)
rows = []
for line in open(path):
    fields = line.rstrip("\n").split("\t")
    row, tool = fields[0], fields[1]
    if row not in rows:
        rows.append(row)
    if fields[2] == "failed":
        failures[(row, tool)].append(fields[3])
    else:
        runs[(row, tool)].append(fields[2:])

def med(values):
    return statistics.median(float(v) for v in values)

print(f"{'site':<28} {'scheme':<6} {'output':<6} {'tool':<15} {'wall s':>7} {'min-max':>13} {'peak MB':>8} "
      f"{'requests':>8} {'conns':>5} {'protocol':<9} {'files':>6} {'broken':>6} exit")
for row in rows:
    site, scheme, output = row.split("|")
    for tool in tools:
        done = runs.get((row, tool), [])
        failed = failures.get((row, tool), [])
        if not done:
            print(f"{site:<28} {scheme:<6} {output:<6} {tool:<15} {failed[0] if failed else 'no copy'}")
            continue
        walls = [float(r[0]) for r in done]
        exits = ",".join(sorted({r[7] for r in done}))
        note = f" ({len(failed)} of {len(done) + len(failed)} rounds failed)" if failed else ""
        print(f"{site:<28} {scheme:<6} {output:<6} {tool:<15} {med(walls):7.2f} "
              f"{min(walls):6.2f}-{max(walls):<6.2f} {med(r[1] for r in done) / 1024:8.1f} "
              f"{med(r[2] for r in done):8.0f} {done[-1][3]:>5} {done[-1][4]:<9} {done[-1][5]:>6} "
              f"{max(int(r[6] or 0) for r in done):>6} {exits}{note}")

print()
print(f"Medians of {rounds} rounds, wall time and peak memory:")
print("| site | scheme | output | " + " | ".join(tools) + " |")
print("|---|---|---|" + "---|" * len(tools))
for row in rows:
    cells = []
    for tool in tools:
        done = runs.get((row, tool), [])
        cells.append(f"{med(r[0] for r in done):.2f} s, {med(r[1] for r in done) / 1024:.1f} MB" if done else "-")
    print("| " + " | ".join(row.split("|")) + " | " + " | ".join(cells) + " |")
PY
echo
echo "wall s: median wall time (min-max over the rounds); peak MB: median peak resident memory;"
echo "requests: requests nginx answered during the copy (median); conns and protocol (https rows):"
echo "connections the last round opened and the protocol most of its requests used (HTTP/2.0 or HTTP/1.1);"
echo "files: regular files saved (httrack's cache left out); broken: most broken local links in a copy"
echo "(hx_check_links); exit: the exit statuses seen (wget exits 8 when the server answered an error, as"
echo "it does for the site's missing page; harbex-cli exits 8 when a copy completed with failed items)."
for tool in "${skipped[@]}"; do
    echo "$tool: not installed, left out (apt-get install $tool)"
done
