#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: chroot.sh SUITE COMMAND [ARGUMENT...]
# Runs COMMAND in a Debian SUITE (trixie, sid, ...) chroot with the project
# folder, at the same path as here, as its working directory. The chroot
# holds the packages that building, testing and releasing the project
# need, the Windows build's among them, so that what a release records of
# it stays the same from one release to the next; it is made with
# debootstrap the first time, kept in KELVARA_CHROOT_CACHE
# (/var/cache/kelvara/chroots), and made anew when that package list
# changes. Its mounts live in a mount namespace of their own, so none
# outlives the command, however it ends. The Debian mirror is the one this
# machine's apt uses, unless KELVARA_DEBIAN_MIRROR names another.
# SOURCE_DATE_EPOCH, KELVARA_COMMIT, the KELVARA_SIGNING_* variables, TZ
# and LC_ALL, where set, reach the command; LANG is C.UTF-8 there. Not run
# as root, it runs itself again with sudo, keeping those. Two runs that
# would make the same chroot at once take turns.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/packages.sh

[ $# -ge 2 ] || { echo "usage: $0 SUITE COMMAND [ARGUMENT...]" >&2; exit 2; }
# What reaches the command, and so must outlive sudo's reset of the
# environment.
passed=(SOURCE_DATE_EPOCH KELVARA_COMMIT KELVARA_SIGNING_CERT KELVARA_SIGNING_PASSWORD_FILE
        KELVARA_SIGNING_TIMESTAMP_URL KELVARA_WINDOWS_QT KELVARA_WINDOWS_LLVM TZ LC_ALL CI)
if [ "$(id -u)" -ne 0 ]; then
    exec sudo --preserve-env="$(IFS=,; echo "${passed[*]},KELVARA_DEBIAN_MIRROR,KELVARA_CHROOT_CACHE")" "$0" "$@"
fi
suite=$1
shift

# The Debian archive in this machine's apt sources, as apt itself reads
# them (one-line and deb822 files alike); the security archive has a label
# of its own.
machine_mirror() {
    apt-get indextargets --format '$(REPO_URI)' 'Origin: Debian' 'Label: Debian' 'Created-By: Packages' \
        | head -n 1 | sed 's:/*$::'
}

cache=${KELVARA_CHROOT_CACHE:-/var/cache/kelvara/chroots}
mirror=${KELVARA_DEBIAN_MIRROR:-$(machine_mirror)}
if [ -z "$mirror" ]; then
    apt-get update -qq
    mirror=$(machine_mirror)
fi
if [ -z "$mirror" ]; then
    echo "This machine's apt sources name no Debian mirror: set KELVARA_DEBIAN_MIRROR to one." >&2
    exit 1
fi
root=$cache/$suite
packages=("${build_packages[@]}" "${test_packages[@]}" "${windows_build_packages[@]}")
stamp=$(printf '%s\n' "$suite" "$mirror" "${packages[@]}" | sha256sum | cut -d' ' -f1)

# Runs a command in the chroot at $1 with /proc, /dev, a fresh /tmp and the
# project mounted, in a private mount namespace. The project keeps its path,
# so that a build made in the chroot also runs outside it; so do the folders
# of Qt and LLVM for Windows that KELVARA_WINDOWS_QT and KELVARA_WINDOWS_LLVM
# name, where they are set.
run_in() {
    local chroot=$1 folders=("$PWD") environment=(HOME=/root LANG=C.UTF-8) build variable
    shift
    for build in "${KELVARA_WINDOWS_QT:-}" "${KELVARA_WINDOWS_LLVM:-}"; do
        [ -n "$build" ] || continue
        mkdir -p "$(dirname "$build")"
        folders+=("$(dirname "$build")")
    done
    for variable in "${passed[@]}"; do
        [ -z "${!variable:-}" ] || environment+=("$variable=${!variable}")
    done
    unshare --mount --propagation private -- bash -euc '
        chroot=$1 folders=$2 variables=$3
        shift 3
        mount -t proc proc "$chroot/proc"
        mount --rbind /dev "$chroot/dev"
        mount -t tmpfs tmpfs "$chroot/tmp"
        for folder in "${@:1:folders}"; do
            mkdir -p "$chroot$folder"
            mount --bind "$folder" "$chroot$folder"
        done
        project=$1
        shift "$folders"
        exec chroot "$chroot" /usr/bin/env -i "${@:1:variables}" \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            bash -c "cd \"\$0\" && exec \"\$@\"" "$project" "${@:variables+1}"
    ' bash "$chroot" "${#folders[@]}" "${#environment[@]}" "${folders[@]}" "${environment[@]}" "$@"
}

# The chroot's mounts need a mount namespace of their own. unshare cannot
# make one where / is not a mount point, as inside a plain chroot.
if ! error=$(unshare --mount --propagation private true 2>&1); then
    echo "Cannot run commands in the Debian $suite chroot: unshare could not give them" \
         "a mount namespace of their own ($error)." >&2
    if ! mountpoint -q /; then
        echo "/ is not a mount point here, as inside a plain chroot: run the command" \
             "where / is one, such as on the machine itself." >&2
    fi
    exit 1
fi

fail() {
    echo "Could not make the Debian $suite chroot from $mirror: $1. The end of its log, $log:" >&2
    tail -n 15 "$log" | sed 's/^/    /' >&2
    exit 1
}

# A second run that would make the same chroot waits for the first, and
# then finds it made.
mkdir -p "$cache"
exec {lock}>"$cache/$suite.lock"
flock "$lock"
if [ "$(cat "$root/.kelvara-packages" 2>/dev/null)" != "$stamp" ]; then
    new=$root.new
    log=$cache/$suite.log
    echo "Making the Debian $suite chroot in $root (once; a few minutes)"
    command -v debootstrap >/dev/null || install_missing debootstrap
    # Nothing is ever mounted in the host's namespace, and --one-file-system
    # keeps rm from following a mount all the same.
    rm -rf --one-file-system "$new"
    debootstrap --variant=minbase "$suite" "$new" "$mirror" >"$log" 2>&1 \
        || fail "debootstrap failed"
    # The mirror may be a snapshot whose release files are past their
    # Valid-Until date, as sid's is.
    echo 'Acquire::Check-Valid-Until "false";' >"$new/etc/apt/apt.conf.d/99kelvara-snapshot"
    cp /etc/resolv.conf "$new/etc/resolv.conf"
    run_in "$new" apt-get update >>"$log" 2>&1 || fail "apt-get update failed"
    run_in "$new" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        "${packages[@]}" >>"$log" 2>&1 || fail "installing the packages failed"
    run_in "$new" apt-get clean >>"$log" 2>&1
    echo "$stamp" >"$new/.kelvara-packages"
    rm -rf --one-file-system "$root"
    mv "$new" "$root"
fi
exec {lock}>&-

run_in "$root" "$@"
