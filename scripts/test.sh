#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole suite through
# CTest on a virtual X display twice: first built with AddressSanitizer and
# UndefinedBehaviorSanitizer, then as a plain build with warnings as errors,
# which adds the GL trace, shader, Windows cross-compile and install checks
# and one round of the benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

install_missing "${build_packages[@]}" xvfb xauth x11-utils \
    apitrace glslang-tools g++-mingw-w64-x86-64-win32 \
    desktop-file-utils dpkg-dev file valgrind libxcb-shm0-dev

jobs=$(nproc)
cmake -S . -B build-sanitize -DBUILD_TESTING=ON -DKELVARA_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
xvfb-run -a ctest --test-dir build-sanitize --output-on-failure

cmake -S . -B build -DBUILD_TESTING=ON -DKELVARA_BENCHMARKS=ON \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build -j"$jobs"
xvfb-run -a ctest --test-dir build --output-on-failure
