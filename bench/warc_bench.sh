#!/usr/bin/env bash
# WARC cost: copies the generated test site with harbex-cli from nginx on
# 127.0.0.1, alternately without and with --warc, and prints the median wall time
# of each and the difference (the target: at most 10% slower), with the WARC
# file's size. Not a test; CI does not run it.
#
#     bench/warc_bench.sh [--harbex PATH] [--pages N] [--runs N] [--harbex-options "--connections 8"] [--keep]
#
# harbex-cli defaults to build/app/harbex-cli; the site generator is built in
# $HX_BENCH_BUILD_DIR (default build-bench). Each copy runs with a HARBEX_HOME of
# its own (set up by an untimed first start) into a fresh folder.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${HX_BENCH_BUILD_DIR:-$here/build-bench}
harbex=$here/build/app/harbex-cli
pages=2000
runs=5
harbex_options=""
keep=0

while [ $# -gt 0 ]; do
    case "$1" in
        --harbex) harbex=$2; shift 2 ;;
        --pages) pages=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --harbex-options) harbex_options=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "warc_bench.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
if [ ! -x "$nginx_bin" ] || [ ! -x /usr/bin/time ] || [ ! -x "$harbex" ]; then
    echo "warc_bench.sh: needs nginx, /usr/bin/time and $harbex (apt-get install nginx time; build harbex-cli)" >&2
    exit 2
fi

cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHX_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target hx_make_site -j "$(nproc)" >/dev/null

# shellcheck source=bench/bench_nginx.sh
. "$(dirname "${BASH_SOURCE[0]}")/bench_nginx.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/hx-warc-bench.XXXXXX")
nginx_pid=
cleanup() {
    stop_nginx
    if [ "$keep" -eq 1 ]; then echo "Kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

"$build_dir/bench/hx_make_site" "$work/site" "$pages" --nginx-extra "$work/extra.conf" >&2
start_nginx "$work/site" "$work/extra.conf"
url=http://127.0.0.1:$port/index.html
echo "Serving $pages pages at $url; $runs copies each way" >&2

# One timed copy; prints its wall seconds. With "warc", the copy keeps a WARC file.
copy() {
    local kind=$1 run=$2 dir=$work/$1-$2 warc_args=()
    mkdir -p "$dir/home"
    HARBEX_HOME=$dir/home "$harbex" settings >/dev/null 2>&1 || true
    [ "$kind" = warc ] && warc_args=(--warc "$dir/site.warc.gz")
    # The generated site fails a few items on purpose: a copy that completed with
    # failed items exits 8, and counts as a copy here.
    local status=0
    # shellcheck disable=SC2086 # the options are words
    HARBEX_HOME=$dir/home /usr/bin/time -v -o "$dir/time" \
        "$harbex" copy "$url" --folder "$dir/copy" "${warc_args[@]}" $harbex_options >"$dir/log" 2>&1 || status=$?
    if [ "$status" != 0 ] && [ "$status" != 8 ]; then
        echo "warc_bench.sh: the $kind copy failed (exit $status):" >&2
        tail -n 5 "$dir/log" >&2
        exit 1
    fi
    wall_seconds "$dir/time"
}

plain=()
warc=()
for run in $(seq 1 "$runs"); do
    # Alternating, so a machine that slows down or speeds up weighs on both alike.
    plain+=("$(copy plain "$run")")
    warc+=("$(copy warc "$run")")
    echo "  run $run: plain ${plain[-1]} s, with --warc ${warc[-1]} s" >&2
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
plain_median=$(median "${plain[@]}")
warc_median=$(median "${warc[@]}")
warc_bytes=$(stat -c %s "$work/warc-1/site.warc.gz")
records=$(wc -l <"$work/warc-1/site.cdxj")
echo
printf '%-14s %10s\n' copy "median s"
printf '%-14s %10s\n' "plain" "$plain_median"
printf '%-14s %10s\n' "with --warc" "$warc_median"
awk -v p="$plain_median" -v w="$warc_median" 'BEGIN { printf "difference: %+.1f%% (target: at most +10%%)\n", (w - p) * 100 / p }'
echo "WARC file: $warc_bytes bytes, $records answers indexed ($pages pages of the generated site)"
