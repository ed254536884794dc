#!/usr/bin/env bash
# Installs what is missing, then runs the suite through CTest with three Qt
# versions (scripts/test_passes.sh says what each pass runs):
#   Qt 6.4 here: sanitized on X11, plain on X11 over GLX and over EGL, and
#                on Wayland;
#   Qt 6.8 in a Debian 13 chroot: sanitized on X11, plain on X11 and Wayland;
#   Qt 6.11 in a Debian unstable chroot: plain on X11 and Wayland;
#   Qt 6.4 for Windows under Wine: the program, its window suites and its
#   packages built for Windows (scripts/test_windows.sh).
# The chroots are made on the first run and kept (scripts/chroot.sh), and so
# is Qt for Windows (scripts/windows_qt.sh). Ends with the time of each
# Qt's passes and the count of tests over all passes.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

install_missing "${build_packages[@]}" "${test_packages[@]}" "${windows_packages[@]}" debootstrap

rm -f build-tally/passes.txt
times=()
run_timed() {
    local name=$1 start=$SECONDS
    shift
    "$@"
    times+=("$name: $((SECONDS - start)) s")
}
run_timed "Qt 6.4 (Debian 12)" scripts/test_passes.sh --sanitize --egl
run_timed "Qt 6.8 (Debian 13)" scripts/chroot.sh trixie scripts/test_passes.sh --name trixie --sanitize
run_timed "Qt 6.11 (Debian unstable)" scripts/chroot.sh sid scripts/test_passes.sh --name sid
run_timed "Qt 6.4 for Windows (Wine)" scripts/test_windows.sh

printf '%s\n' "${times[@]}"
awk '{ run += $1; failed += $2 } END { printf "Tests: %d passed, %d failed\n", run - failed, failed }' \
    build-tally/passes.txt
