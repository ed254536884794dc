#!/usr/bin/env bash
# Installs what is missing, builds Kelvara and its tests with warnings as
# errors, and runs the whole suite through CTest on a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

install_missing "${build_packages[@]}" xvfb xauth

cmake -S . -B build -DBUILD_TESTING=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
xvfb-run -a ctest --test-dir build --output-on-failure
