#!/usr/bin/env bash
# HTTP/2 against HTTP/1.1: copies the generated test site with harbex-cli from
# nginx over https on 127.0.0.1 (http2 on, a certificate by a test authority
# made with the openssl command), alternately with HTTP/2 (the default) and with
# --no-http2, and prints the median wall time and peak memory of each and the
# connections and requests nginx logged for each. Not a test; CI does not run it.
#
#     bench/http2_bench.sh [--harbex PATH] [--pages N] [--runs N] [--harbex-options "--connections 8"]
#                          [--site-maker PATH] [--keep]
#
# harbex-cli defaults to build/app/harbex-cli; the site generator is built in
# $HX_BENCH_BUILD_DIR (default build-bench) unless --site-maker names one. Each copy runs with a HARBEX_HOME of
# its own (set up by an untimed first start) into a fresh folder, in Fast pacing.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${HX_BENCH_BUILD_DIR:-$here/build-bench}
harbex=$here/build/app/harbex-cli
pages=2000
runs=5
harbex_options=""
site_maker=""
keep=0

while [ $# -gt 0 ]; do
    case "$1" in
        --harbex) harbex=$2; shift 2 ;;
        --pages) pages=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --harbex-options) harbex_options=$2; shift 2 ;;
        --site-maker) site_maker=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "http2_bench.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
if [ ! -x "$nginx_bin" ] || [ ! -x /usr/bin/time ] || [ ! -x "$harbex" ] || ! command -v openssl >/dev/null; then
    echo "http2_bench.sh: needs nginx, openssl, /usr/bin/time and $harbex (apt-get install nginx openssl time; build harbex-cli)" >&2
    exit 2
fi

if [ -z "$site_maker" ]; then
    cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHX_BUILD_BENCH=ON >/dev/null
    cmake --build "$build_dir" --target hx_make_site -j "$(nproc)" >/dev/null
    site_maker=$build_dir/bench/hx_make_site
fi

# shellcheck source=bench/bench_nginx.sh
. "$(dirname "${BASH_SOURCE[0]}")/bench_nginx.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/hx-http2-bench.XXXXXX")
nginx_pid=
cleanup() {
    stop_nginx
    if [ "$keep" -eq 1 ]; then echo "Kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

tls_dir=$work/tls
make_test_certificates "$tls_dir"

"$site_maker" "$work/site" "$pages" --nginx-extra "$work/extra.conf" >&2
# One connection may carry the whole copy: nginx's default ends it after 1,000 requests.
echo "    keepalive_requests 1000000;" >>"$work/extra.conf"
nginx_http2=1
start_nginx "$work/site" "$work/extra.conf" "$tls_dir"
url=https://127.0.0.1:$port/index.html
log=$work/nginx-tls/access.log
echo "Serving $pages pages at $url (HTTP/2 and HTTP/1.1); $runs copies each way" >&2

# One timed copy; prints its wall seconds, peak memory (KB), connections and requests.
copy() {
    local kind=$1 run=$2 dir=$work/$1-$2 options=()
    mkdir -p "$dir/home"
    HARBEX_HOME=$dir/home "$harbex" settings >/dev/null 2>&1 || true
    # The test authority is trusted through the "CA File" setting.
    trust_test_authority "$dir/home" "$tls_dir/ca.pem"
    [ "$kind" = http11 ] && options=(--no-http2)
    : >"$log"
    local status=0
    # shellcheck disable=SC2086 # the options are words
    HARBEX_HOME=$dir/home /usr/bin/time -v -o "$dir/time" \
        "$harbex" copy "$url" --folder "$dir/copy" --pacing fast "${options[@]}" $harbex_options >"$dir/log" 2>&1 ||
        status=$?
    # The generated site fails a few items on purpose: exit 8 counts as a copy.
    if [ "$status" != 0 ] && [ "$status" != 8 ]; then
        echo "http2_bench.sh: the $kind copy failed (exit $status):" >&2
        tail -n 5 "$dir/log" >&2
        exit 1
    fi
    echo "$(wall_seconds "$dir/time") $(peak_rss "$dir/time") $(awk '!seen[$1]++' "$log" | wc -l) $(wc -l <"$log")"
}

h2=()
h1=()
for run in $(seq 1 "$runs"); do
    # Alternating, so a machine that slows down or speeds up weighs on both alike.
    h2+=("$(copy http2 "$run")")
    h1+=("$(copy http11 "$run")")
    echo "  run $run: HTTP/2 ${h2[-1]%% *} s, HTTP/1.1 ${h1[-1]%% *} s" >&2
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column() { local n=$1; shift; printf '%s\n' "$@" | awk -v n="$n" '{ print $n }'; }
row() {
    local name=$1; shift
    # shellcheck disable=SC2046 # one value a word
    printf '%-10s %8s %10s %12s %9s\n' "$name" "$(median $(column 1 "$@"))" "$(median $(column 2 "$@"))" \
        "$(median $(column 3 "$@"))" "$(median $(column 4 "$@"))"
}
echo
printf '%-10s %8s %10s %12s %9s\n' copy "wall s" "peak KB" connections requests
row "HTTP/2" "${h2[@]}"
row "HTTP/1.1" "${h1[@]}"
echo "(medians of $runs alternating copies of $pages generated pages over https from nginx on 127.0.0.1)"
