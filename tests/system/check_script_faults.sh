#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: check_script_faults.sh SOURCE_DIR
# The build scripts stop with a message and a non-zero exit: the Windows
# build, leaving no build folder, when there is no complete Qt for Windows;
# a Wine prefix that cannot run a program, with Wine's own reason; the
# chroot, making nothing, when unshare cannot give it a mount namespace; and
# the chroot, quoting the end of debootstrap's log, when debootstrap fails.
set -uo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "$1" >&2
    [ $# -lt 2 ] || cat "$2" >&2
    exit 1
}

# A Qt for Windows that lacks a library, as an interrupted copy would.
mkdir -p "$work/qt/lib/cmake/Qt6"
touch "$work/qt/lib/cmake/Qt6/qt.toolchain.cmake"
KELVARA_WINDOWS_QT=$work/qt "$source_dir/scripts/build_windows.sh" "$work/build" >"$work/out.txt" 2>&1
[ $? -eq 1 ] || fail "an incomplete Qt for Windows did not stop the build:" "$work/out.txt"
grep -q "^No complete Qt .* for Windows in $work/qt: missing lib/cmake/Qt6Core/" "$work/out.txt" \
    && grep -q "scripts/windows_qt.sh" "$work/out.txt" \
    || fail "no message naming what is missing and how to build it:" "$work/out.txt"
[ ! -e "$work/build" ] || fail "the build folder was made all the same"
echo "incomplete Qt for Windows: stopped, named the missing file and scripts/windows_qt.sh"

# A prefix where Wine cannot make one: its parent is a file.
touch "$work/file"
(source "$source_dir/scripts/lib/windows_env.sh" && make_wine_prefix "$work/file/prefix") \
    >"$work/out.txt" 2>&1
[ $? -eq 1 ] || fail "a prefix that cannot run programs was accepted:" "$work/out.txt"
grep -q "^Wine cannot run a program in the prefix $work/file/prefix:" "$work/out.txt" \
    && grep -q "Not a directory" "$work/out.txt" \
    || fail "no message saying why Wine cannot run there:" "$work/out.txt"
echo "Wine prefix that cannot run a program: stopped with Wine's reason"

# unshare as it fails where / is not a mount point.
mkdir -p "$work/stub"
cat >"$work/stub/unshare" <<'STUB'
#!/bin/sh
echo "unshare: cannot change root filesystem propagation: Invalid argument" >&2
exit 1
STUB
chmod +x "$work/stub/unshare"
PATH=$work/stub:$PATH KELVARA_CHROOT_CACHE=$work/chroots "$source_dir/scripts/lib/chroot.sh" trixie true \
    >"$work/out.txt" 2>&1
[ $? -eq 1 ] || fail "a failing unshare did not stop the chroot:" "$work/out.txt"
grep -q "^Cannot run commands in the Debian trixie chroot: unshare .*(unshare: cannot change root" \
    "$work/out.txt" && ! grep -qi "mirror\|apt-get" "$work/out.txt" \
    || fail "no message naming unshare's failure, or one that blames the mirror:" "$work/out.txt"
[ ! -e "$work/chroots" ] || fail "the chroot was begun all the same"
echo "unshare without a mount namespace: stopped, named unshare's reason and not the mirror"

# debootstrap as it fails on a mirror that does not answer, with an unshare
# that works even inside a chroot.
mkdir -p "$work/stub-bootstrap"
printf '#!/bin/sh\nexit 0\n' >"$work/stub-bootstrap/unshare"
cat >"$work/stub-bootstrap/debootstrap" <<'STUB'
#!/bin/sh
echo "I: Retrieving InRelease from $4"
echo "E: Failed getting release file $4/dists/$2/Release"
exit 1
STUB
chmod +x "$work/stub-bootstrap/unshare" "$work/stub-bootstrap/debootstrap"
PATH=$work/stub-bootstrap:$PATH KELVARA_CHROOT_CACHE=$work/chroots KELVARA_DEBIAN_MIRROR=http://mirror.invalid/debian \
    "$source_dir/scripts/lib/chroot.sh" trixie true >"$work/out.txt" 2>&1
[ $? -eq 1 ] || fail "a failing debootstrap did not stop the chroot:" "$work/out.txt"
grep -q "^Could not make the Debian trixie chroot from http://mirror.invalid/debian: debootstrap failed" \
    "$work/out.txt" \
    && grep -q "E: Failed getting release file http://mirror.invalid/debian/dists/trixie/Release" "$work/out.txt" \
    || fail "no message naming the mirror and quoting debootstrap's log:" "$work/out.txt"
[ ! -e "$work/chroots/trixie" ] || fail "a chroot was left all the same"
echo "debootstrap failing: stopped, named the mirror and quoted the end of its log"
