#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: check_script_faults.sh SOURCE_DIR
# The build scripts stop with a message and a non-zero exit: the Windows
# build, leaving no build folder, when there is no complete Qt for Windows;
# a Wine prefix that cannot run a program, with Wine's own reason; the
# chroot, making nothing, when unshare cannot give it a mount namespace; the
# chroot, quoting the end of debootstrap's log, when debootstrap fails; and
# the release, building nothing, when the certificate or password file it is
# given cannot be read. Run by a user who is not root, the chroot keeps
# through sudo what its command needs; two runs that would make one chroot
# at once make it once, the second waiting for the first.
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

# A certificate that is not there, and a password "file" that is a folder.
touch "$work/certificate.p12"
for files in "/no/such/dir/kelvara.p12:" "$work/certificate.p12:$work"; do
    KELVARA_SIGNING_CERT=${files%%:*} KELVARA_SIGNING_PASSWORD_FILE=${files#*:} \
        "$source_dir/scripts/release.sh" "$work/release" >"$work/out.txt" 2>&1
    [ $? -eq 1 ] || fail "the release went on with signing files it cannot read ($files):" "$work/out.txt"
    grep -q "^KELVARA_SIGNING_[A-Z_]* names '\(/no/such/dir/kelvara.p12\|$work\)', which is not a file" \
        "$work/out.txt" && ! grep -q "== Release" "$work/out.txt" && [ ! -e "$work/release" ] \
        || fail "no message naming the file, or a release begun all the same:" "$work/out.txt"
done
echo "signing files that cannot be read: the release stopped before any work, naming them"

# A user who is not root, with a sudo that resets the environment as
# sudo does by default, keeping only what it is asked to.
mkdir -p "$work/stub-user"
printf '#!/bin/sh\n[ "$1" = -u ] && echo 1000 && exit 0\nexec /usr/bin/id "$@"\n' >"$work/stub-user/id"
cat >"$work/stub-user/sudo" <<STUB
#!/bin/bash
keep=
while [[ \$1 == -* ]]; do
    [[ \$1 != --preserve-env=* ]] || keep=\${1#*=}
    shift
done
IFS=, read -ra names <<<"\$keep"
for name in "\${names[@]}"; do
    [ -z "\${!name+set}" ] || echo "\$name=\${!name}"
done >"$work/sudo-environment"
echo "\$*" >"$work/sudo-command"
STUB
chmod +x "$work/stub-user/id" "$work/stub-user/sudo"
PATH=$work/stub-user:$PATH SOURCE_DATE_EPOCH=1700000000 KELVARA_COMMIT=0123abc TZ=Asia/Tokyo \
    KELVARA_SIGNING_CERT=/signing/certificate.p12 KELVARA_WINDOWS_QT=/opt/qt-windows \
    "$source_dir/scripts/lib/chroot.sh" trixie true >"$work/out.txt" 2>&1 \
    || fail "the chroot did not hand itself to sudo:" "$work/out.txt"
for kept in SOURCE_DATE_EPOCH=1700000000 KELVARA_COMMIT=0123abc TZ=Asia/Tokyo \
            KELVARA_SIGNING_CERT=/signing/certificate.p12 KELVARA_WINDOWS_QT=/opt/qt-windows; do
    grep -qx "$kept" "$work/sudo-environment" || fail "sudo did not keep $kept:" "$work/sudo-environment"
done
grep -q "scripts/lib/chroot.sh trixie true$" "$work/sudo-command" || fail "sudo ran another command:" "$work/sudo-command"
echo "not root: the chroot ran itself with sudo, keeping the build's and the release's variables"

# Waits up to a minute for a condition, as a user watching would.
wait_for() {
    local tries=600
    until eval "$1"; do
        tries=$((tries - 1))
        [ $tries -gt 0 ] || return 1
        sleep 0.1
    done
}

# Two first runs on one chroot cache: the second must wait until the
# first has made the chroot, and then use it. The debootstrap here works
# until it is told to finish.
mkdir -p "$work/stub-slow"
printf '#!/bin/sh\nexit 0\n' >"$work/stub-slow/unshare"
cat >"$work/stub-slow/debootstrap" <<STUB
#!/bin/sh
echo start >>"$work/debootstrap.log"
mkdir -p "\$3/etc/apt/apt.conf.d"
tries=600
while [ ! -e "$work/finish" ] && [ \$tries -gt 0 ]; do tries=\$((tries - 1)); sleep 0.1; done
STUB
chmod +x "$work/stub-slow/unshare" "$work/stub-slow/debootstrap"
# Run in the background, it becomes the chroot script's process, whose
# children are its own.
make_chroot() {
    PATH=$work/stub-slow:$PATH KELVARA_CHROOT_CACHE=$work/shared-cache KELVARA_DEBIAN_MIRROR=http://mirror.invalid/debian \
        exec "$source_dir/scripts/lib/chroot.sh" trixie true >"$work/$1.txt" 2>&1
}
make_chroot first & first=$!
wait_for '[ -s "$work/debootstrap.log" ]' || fail "the first run never began to make the chroot:" "$work/first.txt"
make_chroot second & second=$!
# Waiting shows as a flock process of the second run's: /proc/PID/stat
# reads "PID (COMMAND) STATE PARENT ...".
wait_for 'grep -qs "^[0-9]* (flock) [A-Z] $second " /proc/[0-9]*/stat \
    || [ "$(grep -c start "$work/debootstrap.log")" -gt 1 ]' || fail "the second run neither waited nor made the chroot"
[ "$(grep -c start "$work/debootstrap.log")" -eq 1 ] || fail "the second run made the same chroot at once"
touch "$work/finish"
wait $first || fail "the first run failed:" "$work/first.txt"
wait $second || fail "the second run failed:" "$work/second.txt"
[ "$(grep -c start "$work/debootstrap.log")" -eq 1 ] || fail "the chroot was made twice"
[ -f "$work/shared-cache/trixie/.kelvara-packages" ] || fail "no chroot was made"
echo "two first runs on one chroot: the second waited, and the chroot was made once"
