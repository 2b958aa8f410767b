#!/usr/bin/env bash
# Render rate: pages rendered per second by harbex-render (Qt WebEngine, offscreen)
# with one and with two renderers at once, against a local application on
# 127.0.0.1 whose pages fetch their text from a JSON file. Each figure is the median
# of the runs; the renderers' start-up is reported apart. Not a test; CI does not run it.
#
#     bench/render_bench.sh [--pages N] [--runs N] [--renderers "1 2"]
#
# Builds hx_bench_render and harbex-render in $HX_BENCH_BUILD_DIR (default build-bench).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${HX_BENCH_BUILD_DIR:-$here/build-bench}
pages=40
runs=3
counts="1 2"

while [ $# -gt 0 ]; do
    case "$1" in
        --pages) pages=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --renderers) counts=$2; shift 2 ;;
        -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "render_bench.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHX_BUILD_TESTS=OFF \
        -DHX_BUILD_GUI=OFF -DHX_BUILD_BENCH=ON >/dev/null
fi
ninja -C "$build_dir" hx_bench_render harbex-render >/dev/null
bench=$build_dir/bench/hx_bench_render
renderer=$build_dir/app/harbex-render

echo "Pages per run: $pages; runs: $runs; cores: $(nproc)"
for count in $counts; do
    rates=()
    for _ in $(seq "$runs"); do
        line=$("$bench" "$renderer" "$count" "$pages")
        echo "  $line"
        rates+=("$(sed -E 's/.* ([0-9.]+) pages\/s.*/\1/' <<<"$line")")
    done
    median=$(printf '%s\n' "${rates[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    echo "renderers $count: median $median pages/s"
done
