#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# The Windows pass, run under Wine on a virtual X display in a Wine prefix
# made anew each run. Builds Qt for Windows first when KELVARA_WINDOWS_QT
# holds no complete build (scripts/windows_qt.sh, about two hours), then the
# program, its window suites and its packages for Windows in
# build-test-windows/ with scripts/build_windows.sh (in the Debian 13 chroot
# unless this machine's Qt is that of Qt for Windows), and runs through CTest
# here:
#   the window suites built for Windows: the house view at five scales, the
#   context churn, the main window and the view faults;
#   tst_windows_program, built for Linux in build-test-windows-host/, which
#   unpacks the ZIP and runs the installer, and drives and reads the
#   program's window through the X server, with the host's OpenGL, with a
#   driver of OpenGL 1.4 and with Qt's software OpenGL.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/packages.sh
source scripts/lib/windows_env.sh
source scripts/lib/run_ctest.sh

install_missing "${build_packages[@]}" "${windows_packages[@]}"
scripts/windows_qt.sh

echo "== Windows: the checks' Linux side"
cmake -S . -B build-test-windows-host -DBUILD_TESTING=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build-test-windows-host -j"$(nproc)" --target tst_windows_program

echo "== Windows: kelvara.exe, its suites and its packages"
scripts/build_windows.sh build-test-windows -DBUILD_TESTING=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DKELVARA_WINDOWS_PROGRAM_TEST="$PWD/build-test-windows-host/tests/system/tst_windows_program"

make_wine_prefix "$PWD/build-test-windows/test-prefix"
trap 'wineserver -k 2>/dev/null || true' EXIT
run_pass "Qt $windows_qt_version for Windows, Wine on X11" xvfb-run -a ctest --test-dir build-test-windows
