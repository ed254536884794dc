#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Installs what is missing, builds Kelvara with the benchmark and its
# reference programs, and prints the table of start-up time, memory and
# paint cost. Everything runs with Mesa's software renderer, the same for
# every program measured: on a virtual X display, or with --platform wayland
# in a headless Wayland compositor. Other arguments go to the benchmark, for
# example --rounds 40.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/weston.sh

platform=xcb
arguments=()
while [ $# -gt 0 ]; do
    case $1 in
        --platform) platform=${2:?--platform takes xcb or wayland}; shift 2 ;;
        *) arguments+=("$1"); shift ;;
    esac
done
case $platform in
    xcb|wayland) ;;
    *) echo "unknown platform '$platform': use xcb or wayland" >&2; exit 2 ;;
esac

install_missing "${build_packages[@]}" xvfb xauth valgrind libxcb-shm0-dev libegl-dev \
    libwayland-dev weston qt6-wayland

cmake -S . -B build-bench -DKELVARA_BENCHMARKS=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-bench -j"$(nproc)" >/dev/null

if [ "$platform" = wayland ]; then
    start_weston
    # The headless compositor offers no seat, which Qt 6.4's text input
    # needs; see scripts/lib/test_passes.sh.
    env -u DISPLAY QT_QPA_PLATFORM=wayland QT_IM_MODULE=none \
        build-bench/bench/kelvara_bench "${arguments[@]}"
else
    QT_QPA_PLATFORM=xcb xvfb-run -a build-bench/bench/kelvara_bench "${arguments[@]}"
fi
