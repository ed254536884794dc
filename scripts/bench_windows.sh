#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: bench_windows.sh [ROUNDS]
# Builds Kelvara for Windows with its frame-time probe in
# build-bench-windows/ and runs the probe, from the folder the packages
# install, under Wine on a virtual X display, ROUNDS times (5 by default)
# each: with the host's OpenGL, and with a driver of OpenGL 1.4, where Qt
# falls back to the software OpenGL that the packages carry, once as they
# ship it (llvmpipe) and once with its plain rasteriser (softpipe). Prints
# each run and the medians of the time to the first frame and of one repaint
# after an apply, and the sizes of the ZIP, the installer and the software
# OpenGL.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/windows_env.sh

install_missing xvfb xauth wine wine64

rounds=${1:-5}
# Everything runs on one virtual X display, which Wine draws on.
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a "$0" "$@"
scripts/build_windows.sh build-bench-windows -DKELVARA_BENCHMARKS=ON
bin=$PWD/build-bench-windows/install/bin
cp build-bench-windows/kelvara_frame_times.exe "$bin/"
make_wine_prefix "$PWD/build-bench-windows/bench-prefix"

# Wine hands the cap on the host's driver to Windows programs as well; cmd
# takes it out of what they see, so that the software OpenGL is not capped
# with it, and sets what is given for them alone.
measure() {
    local name=$1 cap=$2 windows_variables=$3 round first=() repaint=()
    for round in $(seq "$rounds"); do
        local output
        if [ -n "$cap" ]; then
            output=$(cd "$bin" && MESA_GL_VERSION_OVERRIDE=$cap wine cmd /c \
                "set MESA_GL_VERSION_OVERRIDE=&& $windows_variables kelvara_frame_times.exe 20" \
                2>/dev/null | tr -d '\r')
        else
            output=$(cd "$bin" && wine kelvara_frame_times.exe 20 2>/dev/null | tr -d '\r')
        fi
        echo "$name, run $round: $(echo "$output" | paste -sd ';')"
        first+=("$(sed -n 's/^first_frame \([0-9]*\) ms$/\1/p' <<<"$output")")
        repaint+=("$(sed -n 's/^repaint \([0-9.]*\) ms.*/\1/p' <<<"$output")")
    done
    printf '%s: first frame %s ms, repaint %s ms (medians of %d runs)\n' "$name" \
        "$(printf '%s\n' "${first[@]}" | sort -n | sed -n "$(( (rounds + 1) / 2 ))p")" \
        "$(printf '%s\n' "${repaint[@]}" | sort -n | sed -n "$(( (rounds + 1) / 2 ))p")" "$rounds"
}
measure "host OpenGL" "" ""
measure "OpenGL 1.4 driver, software OpenGL (llvmpipe)" 1.4 ""
measure "OpenGL 1.4 driver, software OpenGL (softpipe)" 1.4 "set GALLIUM_DRIVER=softpipe&&"
wineserver -k 2>/dev/null || true
ls -l build-bench-windows/kelvara-*-win64.zip build-bench-windows/kelvara-*-win64.exe \
    "$bin/opengl32sw.dll" "$bin/libgallium_wgl.dll" \
    | awk '{ printf "%s: %.1f MB\n", $NF, $5 / 1e6 }'
