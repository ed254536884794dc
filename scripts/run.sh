#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Installs what is missing, builds Kelvara and starts it from the project
# root, where it finds assets/. Without a display it runs the program under
# Xvfb instead, saves a screenshot of the window and ends.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh

headless=false
[ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && headless=true

install_missing "${build_packages[@]}"
$headless && install_missing xvfb xauth x11-utils imagemagick

cmake --preset release >/dev/null
cmake --build build --target kelvara -j"$(nproc)"

if ! $headless; then
    exec ./build/kelvara "$@"
fi

screenshot="$PWD/kelvara-screenshot.png"
xvfb-run -a bash scripts/lib/screenshot.sh ./build/kelvara "$screenshot"
echo "No display: ran Kelvara under Xvfb and saved its window to $screenshot"
