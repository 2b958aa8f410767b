#!/usr/bin/env bash
# Transfer benchmark: builds the Release driver and runs it on loopback against
# nginx, with wget fetching the same files in the same run. Not a test; CI does
# not run it. Extra arguments go to the driver (--big-mb N --files N --streams N).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${HX_BENCH_BUILD_DIR:-$here/build-bench}

for program in nginx wget; do
    if ! command -v "$program" >/dev/null 2>&1 && [ ! -x "/usr/sbin/$program" ]; then
        echo "$program is not installed (scripts/setup.sh installs it)" >&2
        exit 2
    fi
done

cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHX_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target hx_bench_transfer -j "$(nproc)"
"$build_dir/bench/hx_bench_transfer" "$@"
