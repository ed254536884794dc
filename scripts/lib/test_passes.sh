#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: test_passes.sh [--sanitize] [--egl] [--name NAME]
# Builds and runs the suite through CTest with the Qt installed here: as a
# plain build with warnings as errors on X11 over GLX, with every check, and
# its windowing suites again on Wayland; with --sanitize first built with
# AddressSanitizer and UndefinedBehaviorSanitizer on X11, and with --egl the
# windowing suites also on X11 over EGL. Build folders end in -NAME when a
# name is given. Each pass adds its line to the tally (scripts/lib/run_ctest.sh);
# a failing pass does not stop the ones after it.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/weston.sh
source scripts/lib/run_ctest.sh

sanitize=false
egl=false
suffix=""
while [ $# -gt 0 ]; do
    case $1 in
        --sanitize) sanitize=true; shift ;;
        --egl) egl=true; shift ;;
        --name) suffix=-${2:?--name takes a name}; shift 2 ;;
        *) echo "unknown argument '$1'" >&2; exit 2 ;;
    esac
done

qt_version=$(qtpaths6 --qt-query QT_VERSION 2>/dev/null || qmake6 -query QT_VERSION)
jobs=$(nproc)

# Configures and builds into a folder; on failure, records the passes that
# needed the build as unrun and returns non-zero.
build() {
    local folder=$1
    shift
    local passes=()
    while [ "$1" != -- ]; do passes+=("$1"); shift; done
    shift
    if cmake -S . -B "$folder" "$@" >/dev/null && cmake --build "$folder" -j"$jobs"; then
        return 0
    fi
    for pass in "${passes[@]}"; do
        record_unrun_pass "$pass" "the build in $folder failed"
    done
    return 1
}

if $sanitize; then
    pass="Qt $qt_version, X11, sanitized"
    if build "build-sanitize$suffix" "$pass" -- -DBUILD_TESTING=ON -DKELVARA_SANITIZE=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON; then
        run_pass "$pass" xvfb-run -a ctest --test-dir "build-sanitize$suffix"
    fi
fi

glx="Qt $qt_version, X11 over GLX"
egl_pass="Qt $qt_version, X11 over EGL"
wayland="Qt $qt_version, Wayland"
plain_passes=("$glx" "$wayland")
! $egl || plain_passes+=("$egl_pass")
build "build-test$suffix" "${plain_passes[@]}" -- -DBUILD_TESTING=ON -DKELVARA_BENCHMARKS=ON \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON || exit 0
run_pass "$glx" xvfb-run -a ctest --test-dir "build-test$suffix"
if $egl; then
    run_pass "$egl_pass" env QT_XCB_GL_INTEGRATION=xcb_egl xvfb-run -a ctest --test-dir "build-test$suffix" -L gui
fi
if start_weston; then
    # The headless compositor offers no seat, and Qt 6.4's Wayland text input
    # then crashes on Return in a line edit; a desktop session always has one.
    run_pass "$wayland" env -u DISPLAY QT_QPA_PLATFORM=wayland QT_IM_MODULE=none \
        ctest --test-dir "build-test$suffix" -L gui
else
    record_unrun_pass "$wayland" "weston did not start"
fi
