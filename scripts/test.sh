#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: test.sh [--all]
# Installs what is missing, then runs the whole suite through CTest with
# this machine's Qt (scripts/lib/test_passes.sh says what each pass runs):
# sanitized on X11, plain on X11 over GLX and over EGL, and on Wayland.
# With --all, as CI runs it, also:
#   Qt 6.8 in a Debian 13 chroot: sanitized on X11, plain on X11 and Wayland;
#   Qt 6.11 in a Debian unstable chroot: plain on X11 and Wayland;
#   Qt 6.8 for Windows under Wine: the program, its window suites and its
#   packages built for Windows (scripts/lib/test_windows.sh).
# The chroots are made on the first run and kept (scripts/lib/chroot.sh), and
# so is Qt for Windows (scripts/windows_qt.sh). Every pass runs, whatever the
# others did. Ends with a line per pass (tests run, failed, time) and the
# count over all passes, and fails when a test failed or a pass could not run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/run_ctest.sh

all=false
case ${1:-} in
    "") ;;
    --all) all=true ;;
    *) echo "usage: $0 [--all]" >&2; exit 2 ;;
esac

packages=("${build_packages[@]}" "${test_packages[@]}")
! $all || packages+=("${windows_packages[@]}")
install_missing "${packages[@]}"

rm -f build-tally/passes.txt
# Each Qt's passes run whatever the ones before them did; a script that
# stops early, as on a failed chroot or build, leaves a line saying so.
run_qt() {
    local name=$1
    shift
    "$@" || record_unrun_pass "$name" "stopped with exit code $?"
}
run_qt "Qt 6.4 (Debian 12)" scripts/lib/test_passes.sh --sanitize --egl
if $all; then
    run_qt "Qt 6.8 (Debian 13)" scripts/lib/chroot.sh trixie scripts/lib/test_passes.sh --name trixie --sanitize
    run_qt "Qt 6.11 (Debian unstable)" scripts/lib/chroot.sh sid scripts/lib/test_passes.sh --name sid
    run_qt "Qt for Windows (Wine)" scripts/lib/test_windows.sh
fi

# One line per pass, then the total; any failure or unrun pass fails the
# command.
awk -F '\t' '
    { printf "%-44s %4d run, %3d failed, %5d s%s\n", $1 ":", $2, $3, $4, ($5 == "" ? "" : "  (" $5 ")")
      run += $2; failed += $3; unrun += ($5 != "") }
    END { printf "Tests: %d passed, %d failed\n", run - failed, failed; exit (failed > 0 || unrun > 0) }
' build-tally/passes.txt
