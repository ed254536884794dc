#!/usr/bin/env bash
# Installs what is missing, builds Kelvara with the benchmark and its
# reference programs, and prints the table of start-up time, memory and
# paint cost. Arguments go to the benchmark, for example --rounds 40.
# Everything runs on a virtual X display with Mesa's software renderer, the
# same for every program measured.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

install_missing "${build_packages[@]}" xvfb xauth valgrind libxcb-shm0-dev

cmake -S . -B build-bench -DKELVARA_BENCHMARKS=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-bench -j"$(nproc)" >/dev/null
xvfb-run -a build-bench/bench/kelvara_bench "$@"
