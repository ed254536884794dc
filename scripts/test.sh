#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Installs what is missing, then runs the suite through CTest with three Qt
# versions (scripts/test_passes.sh says what each pass runs):
#   Qt 6.4 here: sanitized on X11, plain on X11 over GLX and over EGL, and
#                on Wayland;
#   Qt 6.8 in a Debian 13 chroot: sanitized on X11, plain on X11 and Wayland;
#   Qt 6.11 in a Debian unstable chroot: plain on X11 and Wayland;
#   Qt 6.8 for Windows under Wine: the program, its window suites and its
#   packages built for Windows (scripts/test_windows.sh).
# The chroots are made on the first run and kept (scripts/chroot.sh), and so
# is Qt for Windows (scripts/windows_qt.sh). Every pass runs, whatever the
# others did. Ends with a line per pass (tests run, failed, time) and the
# count over all passes, and fails when a test failed or a pass could not run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source scripts/run_ctest.sh

install_missing "${build_packages[@]}" "${test_packages[@]}" "${windows_packages[@]}" debootstrap

rm -f build-tally/passes.txt
# Each Qt's passes run whatever the ones before them did; a script that
# stops early, as on a failed chroot or build, leaves a line saying so.
run_qt() {
    local name=$1
    shift
    "$@" || record_unrun_pass "$name" "stopped with exit code $?"
}
run_qt "Qt 6.4 (Debian 12)" scripts/test_passes.sh --sanitize --egl
run_qt "Qt 6.8 (Debian 13)" scripts/chroot.sh trixie scripts/test_passes.sh --name trixie --sanitize
run_qt "Qt 6.11 (Debian unstable)" scripts/chroot.sh sid scripts/test_passes.sh --name sid
run_qt "Qt for Windows (Wine)" scripts/test_windows.sh

# One line per pass, then the total; any failure or unrun pass fails the
# command.
awk -F '\t' '
    { printf "%-44s %4d run, %3d failed, %5d s%s\n", $1 ":", $2, $3, $4, ($5 == "" ? "" : "  (" $5 ")")
      run += $2; failed += $3; unrun += ($5 != "") }
    END { printf "Tests: %d passed, %d failed\n", run - failed, failed; exit (failed > 0 || unrun > 0) }
' build-tally/passes.txt
