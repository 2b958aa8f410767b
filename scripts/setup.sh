#!/usr/bin/env bash
# Prepares a Debian 12 machine for building Harbex: installs the packages that
# are missing (nothing is installed when all are present), then configures and
# builds into ./build (HX_BUILD_DIR): everything, or the targets HX_BUILD_TARGET
# names. Extra arguments are passed to the CMake configure step.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

packages=(
    g++ cmake ninja-build pkg-config clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    libzip-dev zip unzip
    libssl-dev libidn2-dev libpsl-dev libnghttp2-dev openssl zlib1g-dev libdeflate-dev
    nginx tinyproxy wget
    qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-webengine-dev libgl-dev libxkbcommon-dev fonts-dejavu-core xvfb xauth
    qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
    dpkg-dev desktop-file-utils appstream shared-mime-info python3
    dbus at-spi2-core python3-pyatspi
    clang libfuzzer-14-dev locales
    nodejs
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    # nginx and tinyproxy are only started by the tests, on loopback ports of
    # their own: keep the packages from starting system services while installing.
    policy=/usr/sbin/policy-rc.d
    added_policy=0
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
        "${sudo_cmd[@]}" chmod 755 "$policy"
        added_policy=1
    fi
    "${sudo_cmd[@]}" apt-get update -q
    status=0
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" || status=$?
    if [ "$added_policy" = 1 ]; then
        "${sudo_cmd[@]}" rm -f "$policy"
    fi
    [ "$status" = 0 ] || exit "$status"
fi

# The engine tests read numbers under a comma-decimal locale too: make it when missing.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    if ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        echo 'de_DE.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    "${sudo_cmd[@]}" locale-gen >/dev/null || echo "Could not generate the de_DE.UTF-8 locale; its test is skipped"
fi

# The WARC files the program writes are read back in the tests by webrecorder's
# warcio, the reader replay tools use: its npm package, at the version the lock
# file pins, goes into tests/warc/node_modules. npm comes with some builds of
# nodejs; Debian's own nodejs needs the npm package beside it.
# Only the tests need it: a set-up that builds just some targets (run.sh's two
# programs, the fuzz build) leaves it out and needs no npm registry.
if [ -z "${HX_BUILD_TARGET:-}" ]; then
    if ! command -v npm >/dev/null 2>&1; then
        sudo_cmd=()
        [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
        DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends npm
    fi
    warcio_wanted=$(node -p 'require("./tests/warc/package.json").dependencies.warcio')
    warcio_found=$(node -p 'require("./tests/warc/node_modules/warcio/package.json").version' 2>/dev/null || true)
    if [ "$warcio_found" != "$warcio_wanted" ]; then
        (cd tests/warc && npm ci --no-audit --no-fund --loglevel=error)
    fi
fi

build_dir=${HX_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja "$@"
# HX_BUILD_TARGET builds the targets it names (blank-separated) instead of
# everything: the fuzz build, and run.sh's two programs.
targets=()
read -r -a targets <<<"${HX_BUILD_TARGET:-}"
if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$build_dir" -j "$(nproc)" --target "${targets[@]}"
else
    cmake --build "$build_dir" -j "$(nproc)"
fi
