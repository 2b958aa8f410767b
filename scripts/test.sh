#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test: the normal build, the check
# that every source is formatted, then the engine suites again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
jobs=$(nproc)

HX_BUILD_DIR=build "$here/scripts/setup.sh"
ctest --test-dir build --output-on-failure -j "$jobs"
"$here/scripts/format.sh" --check

if [ "${HX_SKIP_SANITIZE:-0}" != 1 ]; then
    HX_BUILD_DIR=build-asan "$here/scripts/setup.sh" -DHX_SANITIZE=ON -DHX_BUILD_BENCH=OFF -DHX_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=Debug
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
fi
