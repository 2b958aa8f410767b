#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test: the normal build, the check
# that every source is formatted, then the engine suites again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target for a
# bounded time (HX_FUZZ_SECONDS, 20 by default; HX_SKIP_FUZZ=1 leaves them out).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
jobs=$(nproc)

HX_BUILD_DIR=build "$here/scripts/setup.sh"
# A test that hangs is ended and reported after five minutes, not at CI's limit.
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300
"$here/scripts/format.sh" --check

if [ "${HX_SKIP_SANITIZE:-0}" != 1 ]; then
    HX_BUILD_DIR=build-asan "$here/scripts/setup.sh" -DHX_SANITIZE=ON -DHX_BUILD_BENCH=OFF -DHX_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=Debug
    ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 300
fi

# The fuzz targets: the engine and the targets only, built with clang into build-fuzz.
# Each runs from its seed corpus (new inputs go to a working corpus in the build dir).
# An input that fails is saved under build-fuzz/fuzz-findings/<target>/: mend the
# fault and add the input to tests/fuzz/regressions/<target>/, which CTest replays.
if [ "${HX_SKIP_FUZZ:-0}" != 1 ]; then
    HX_BUILD_DIR=build-fuzz HX_BUILD_TARGET=hx_fuzz_targets CC=clang CXX=clang++ "$here/scripts/setup.sh" -DHX_FUZZ=ON -DHX_BUILD_TESTS=OFF \
        -DHX_BUILD_BENCH=OFF -DHX_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -gline-tables-only"
    seconds=${HX_FUZZ_SECONDS:-20}
    # A fixed seed makes a run repeatable: the same seed explores the same inputs in
    # the same order, so a failure seen here is found again at a desk. HX_FUZZ_SEED=0
    # lets libFuzzer pick a fresh seed for a longer hunt.
    seed=${HX_FUZZ_SEED:-1}
    # The readers of stored files write and flush files on every input: on a memory
    # file system the flushes cost nothing, which makes those targets six times faster.
    fuzz_tmp=${TMPDIR:-/tmp}
    [ -d /dev/shm ] && [ -w /dev/shm ] && fuzz_tmp=/dev/shm
    failed=()
    for source in tests/fuzz/corpus/*/; do
        target=$(basename "$source")
        work=build-fuzz/fuzz-corpus/$target
        findings=build-fuzz/fuzz-findings/$target
        mkdir -p "$work" "$findings"
        echo "Fuzzing $target for $seconds s"
        if ! TMPDIR=$fuzz_tmp "build-fuzz/tests/fuzz/hx_fuzz_$target" -max_total_time="$seconds" -seed="$seed" -timeout=10 -rss_limit_mb=2048 \
            -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/" "$work" "$source" \
            >"build-fuzz/fuzz-$target.log" 2>&1; then
            tail -n 60 "build-fuzz/fuzz-$target.log"
            # The failing input itself, so a log alone is enough to replay it.
            for input in "$findings"/*; do
                [ -f "$input" ] && echo "$input (base64):" && base64 -w 0 "$input" && echo
            done
            failed+=("$target")
        fi
        grep -E '^#[0-9]+[[:space:]]+DONE|stat::average_exec_per_sec' "build-fuzz/fuzz-$target.log" || true
    done
    if [ ${#failed[@]} -gt 0 ]; then
        echo "Fuzz targets that failed: ${failed[*]} (inputs in build-fuzz/fuzz-findings/)"
        exit 1
    fi
fi
