#!/usr/bin/env bash
# Window-thread benchmark: copies the generated test site with harbex-cli and with
# the windowed program (hx_bench_gui_crawl, offscreen), alternating them for a few
# rounds, and prints the medians: wall time of each and their ratio, how late a
# 10 ms timer on the window thread fired while the copy ran, the window thread's
# share of the wall time, and the peak memory of each. Both copies of every round
# are checked with hx_check_links. Not a test; CI does not run it.
#
#     bench/gui_crawl_bench.sh [--build DIR] [--pages N] [--rounds N] [--connections N] [--explore] [--keep]
#
# Nothing is built: DIR (default build) must hold app/harbex-cli and
# bench/hx_make_site, bench/hx_check_links and bench/hx_bench_gui_crawl (configure
# with -DHX_BUILD_BENCH=ON and build those targets). The site (default 2000 pages)
# is served by nginx on a free port of 127.0.0.1. Every copy runs with a fresh
# HARBEX_HOME in a temporary folder, set up by an untimed first start, and copies
# into a folder of its own. --connections goes to both programs (default: the
# "Connections" setting's default). --explore adds a third copy per round: the
# window with the explore view shown from the copy's start (every queue item a row
# painted live), compared with the window copy whose explore view stays hidden.
# --keep leaves the temporary folder in place.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$here/build
pages=2000
rounds=3
connections=""
keep=0
explore=0

while [ $# -gt 0 ]; do
    case "$1" in
        --build) build_dir=$(cd "$2" && pwd); shift 2 ;;
        --pages) pages=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        --connections) connections=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        --explore) explore=1; shift ;;
        -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "gui_crawl_bench.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

harbex_cli=$build_dir/app/harbex-cli
make_site=$build_dir/bench/hx_make_site
check_links=$build_dir/bench/hx_check_links
gui_bench=$build_dir/bench/hx_bench_gui_crawl
for program in "$harbex_cli" "$make_site" "$check_links" "$gui_bench"; do
    if [ ! -x "$program" ]; then
        echo "gui_crawl_bench.sh: $program is missing (build it with -DHX_BUILD_BENCH=ON)" >&2
        exit 2
    fi
done
[ -x /usr/bin/time ] || { echo "gui_crawl_bench.sh: please install time (apt-get install time)" >&2; exit 2; }
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx_bin" ] || { echo "gui_crawl_bench.sh: please install nginx (apt-get install nginx)" >&2; exit 2; }

connection_options=()
[ -n "$connections" ] && connection_options=(--connections "$connections")

# ---- Temporary folder and nginx ----

# shellcheck source=bench/bench_nginx.sh
. "$(dirname "${BASH_SOURCE[0]}")/bench_nginx.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/hx-gui-crawl.XXXXXX")
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

cpu_seconds() { awk -F': ' '/User time|System time/ { s += $2 } END { printf "%.3f", s }' "$1"; }
# The value of a "name: value" line of the GUI bench's output.
figure() { sed -n "s/^$2: //p" "$1"; }
broken_links() { "$check_links" "$1" | sed -n 's/^broken local links: \([0-9]*\).*/\1/p'; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A series

# Appends a value to a named series (one value per round).
record() { series[$1]="${series[$1]:-} $2"; }
median_of() { tr ' ' '\n' <<<"${series[$1]:-}" | sed '/^$/d' | median; }

copy_with_cli() {
    local round=$1 url=$2 home=$work/cli-home-$1 out=$work/cli-copy-$1 status=0
    mkdir -p "$home" "$out"
    # The first-run set-up happens once per user, not per copy: before the timing.
    HARBEX_HOME=$home "$harbex_cli" settings >/dev/null 2>&1 || true
    HARBEX_HOME=$home /usr/bin/time -v -o "$work/cli-$round.time" \
        "$harbex_cli" --pacing fast copy "$url" --folder "$out" "${connection_options[@]}" \
        >"$work/cli-$round.log" 2>&1 || status=$?
    # Exit 8: the copy completed with failed items, as the generated site's
    # deliberate failures give.
    if [ "$status" -ne 0 ] && [ "$status" -ne 8 ]; then
        echo "gui_crawl_bench.sh: harbex-cli failed with exit status $status (see $work/cli-$round.log)" >&2
        keep=1
        exit 1
    fi
    record cli_wall "$(wall_seconds "$work/cli-$round.time")"
    record cli_rss "$(peak_rss "$work/cli-$round.time")"
    record cli_cpu "$(cpu_seconds "$work/cli-$round.time")"
    record cli_files "$(find "$out" -type f | wc -l)"
    record cli_broken "$(broken_links "$out")"
}

# copy_with_window ROUND URL [PREFIX [BENCH OPTIONS...]]: the series are named PREFIX_...
copy_with_window() {
    local round=$1 url=$2 prefix=${3:-gui}
    shift 2
    [ $# -gt 0 ] && shift
    local home=$work/$prefix-home-$round out=$work/$prefix-copy-$round result=$work/$prefix-$round.out status=0
    mkdir -p "$home" "$out"
    QT_QPA_PLATFORM=offscreen /usr/bin/time -v -o "$work/$prefix-$round.time" \
        "$gui_bench" "$url" "$out" "$home" "${connection_options[@]}" "$@" >"$result" 2>"$work/$prefix-$round.log" ||
        status=$?
    if [ "$status" -ne 0 ]; then
        echo "gui_crawl_bench.sh: the windowed copy failed with exit status $status (see $work/$prefix-$round.log)" >&2
        cat "$result" "$work/$prefix-$round.log" >&2
        keep=1
        exit 1
    fi
    local name
    for name in wall_s run_wall_s probe_p50_ms probe_p99_ms probe_max_ms window_cpu_share_pct window_cpu_s \
        window_cpu_run_s window_cpu_run_share_pct \
        process_cpu_s peak_rss_kb pages_saved media_saved page_errors media_errors explore_rows; do
        record "${prefix}_$name" "$(figure "$result" "$name")"
    done
    record "${prefix}_files" "$(find "$out" -type f | wc -l)"
    record "${prefix}_broken" "$(broken_links "$out")"
    record "${prefix}_process_wall" "$(wall_seconds "$work/$prefix-$round.time")"
}

site=$work/site
"$make_site" "$site" "$pages" --nginx-extra "$work/extra.conf" >&2
start_nginx "$site" "$work/extra.conf"
url=http://127.0.0.1:$port/index.html
echo "Serving $pages pages at $url; $rounds rounds" >&2

for round in $(seq 1 "$rounds"); do
    echo "  round $round: harbex-cli" >&2
    copy_with_cli "$round" "$url"
    echo "  round $round: harbex (window)" >&2
    copy_with_window "$round" "$url"
    if [ "$explore" -eq 1 ]; then
        echo "  round $round: harbex (window, explore view shown)" >&2
        copy_with_window "$round" "$url" exp --explore
    fi
done
stop_nginx

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0) printf "%.2f", b / a; else print "-" }'; }
verdict() { awk -v v="$1" -v goal="$2" 'BEGIN { print (v <= goal) ? "met" : "MISSED" }'; }

cli_wall=$(median_of cli_wall)
gui_wall=$(median_of gui_wall_s)
gui_run_wall=$(median_of gui_run_wall_s)
wall_ratio=$(ratio "$cli_wall" "$gui_wall")
p99=$(median_of gui_probe_p99_ms)
max=$(median_of gui_probe_max_ms)

echo
echo "Medians of $rounds rounds, $pages-page site (per-round values in brackets)"
printf '%-36s %12s %12s   %s\n' figure harbex-cli harbex goal
printf '%-36s %12s %12s   %s\n' "wall s (cli: process; window: Go..end)" "$cli_wall" "$gui_wall" \
    "ratio $wall_ratio, at most 1.15: $(verdict "$wall_ratio" 1.15)"
printf '%-36s %12s %12s   %s\n' "wall s, window: run start..end" "" "$gui_run_wall" \
    "ratio $(ratio "$cli_wall" "$gui_run_wall")"
printf '%-36s %12s %12s\n' "probe p50 ms" "" "$(median_of gui_probe_p50_ms)"
printf '%-36s %12s %12s   %s\n' "probe p99 ms" "" "$p99" "below 30: $(verdict "$p99" 29.999)"
printf '%-36s %12s %12s   %s\n' "probe max ms" "" "$max" "below 100: $(verdict "$max" 99.999)"
printf '%-36s %12s %12s\n' "window thread CPU s" "" "$(median_of gui_window_cpu_s)"
printf '%-36s %12s %12s\n' "window thread CPU share of wall %" "" "$(median_of gui_window_cpu_share_pct)"
printf '%-36s %12s %12s\n' "window thread CPU s, run only" "" "$(median_of gui_window_cpu_run_s)"
printf '%-36s %12s %12s\n' "window thread CPU share of run %" "" "$(median_of gui_window_cpu_run_share_pct)"
printf '%-36s %12s %12s\n' "process CPU s (cli: whole process)" "$(median_of cli_cpu)" "$(median_of gui_process_cpu_s)"
printf '%-36s %12s %12s\n' "peak RSS KB" "$(median_of cli_rss)" "$(median_of gui_peak_rss_kb)"
printf '%-36s %12s %12s\n' "files in the copy" "$(median_of cli_files)" "$(median_of gui_files)"
printf '%-36s %12s %12s\n' "broken local links" "$(median_of cli_broken)" "$(median_of gui_broken)"
printf '%-36s %12s %12s\n' "pages / media saved (window)" "" \
    "$(median_of gui_pages_saved) / $(median_of gui_media_saved)"
printf '%-36s %12s %12s\n' "page / media errors (window)" "" \
    "$(median_of gui_page_errors) / $(median_of gui_media_errors)"
echo
echo "per round: cli wall [${series[cli_wall]# }], window wall [${series[gui_wall_s]# }]," \
    "probe p99 [${series[gui_probe_p99_ms]# }], probe max [${series[gui_probe_max_ms]# }]," \
    "broken cli [${series[cli_broken]# }] window [${series[gui_broken]# }]"
if [ "$explore" -eq 1 ]; then
    exp_wall=$(median_of exp_wall_s)
    exp_ratio=$(ratio "$gui_wall" "$exp_wall")
    echo
    printf '%-36s %12s %12s   %s\n' figure "view hidden" "view shown" goal
    printf '%-36s %12s %12s   %s\n' "wall s (Go..end)" "$gui_wall" "$exp_wall" \
        "ratio $exp_ratio, at most 1.15: $(verdict "$exp_ratio" 1.15)"
    printf '%-36s %12s %12s\n' "probe p99 ms" "$p99" "$(median_of exp_probe_p99_ms)"
    printf '%-36s %12s %12s\n' "probe max ms" "$max" "$(median_of exp_probe_max_ms)"
    printf '%-36s %12s %12s\n' "window thread CPU s" "$(median_of gui_window_cpu_s)" "$(median_of exp_window_cpu_s)"
    printf '%-36s %12s %12s\n' "peak RSS KB" "$(median_of gui_peak_rss_kb)" "$(median_of exp_peak_rss_kb)"
    printf '%-36s %12s %12s\n' "explore rows at the end" "$(median_of gui_explore_rows)" "$(median_of exp_explore_rows)"
    printf '%-36s %12s %12s\n' "broken local links" "$(median_of gui_broken)" "$(median_of exp_broken)"
    echo "per round: hidden [${series[gui_wall_s]# }], shown [${series[exp_wall_s]# }]"
fi
echo "The window's wall time runs from the click on Go (the scheduler's tick that starts the task"
echo "runs at once); harbex-cli's is the whole process (start, copy, reports)."
