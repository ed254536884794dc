#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: release.sh [--allow-dirty] [FOLDER]
# Makes the release of the current commit in FOLDER (release/ by default):
# a Debian package for each Debian release that users run, built in that
# release (here, or in a chroot of it: scripts/lib/chroot.sh), the Windows
# ZIP and installer (scripts/build_windows.sh), and SHA256SUMS over them.
# It builds the commit's files, exported into a folder of their own, at the
# commit's time (SOURCE_DATE_EPOCH, unless one is set) and with umask 022,
# so that the same commit gives the same bytes wherever, whenever and by
# whomever it is released. It refuses a tree with uncommitted changes;
# --allow-dirty releases the files of the working tree instead.
# With a PKCS#12 certificate in KELVARA_SIGNING_CERT (its password in the
# file KELVARA_SIGNING_PASSWORD_FILE names, if it has one, and a time-stamp
# server in KELVARA_SIGNING_TIMESTAMP_URL, if one is to be asked), it signs
# kelvara.exe, the installer and the installer's uninstaller with
# Authenticode (packaging/windows/sign.sh).
set -euo pipefail
for variable in KELVARA_SIGNING_CERT KELVARA_SIGNING_PASSWORD_FILE; do
    [ -z "${!variable:-}" ] || printf -v "$variable" %s "$(realpath "${!variable}")"
done
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/windows_env.sh

allow_dirty=false
folder=release
for argument; do
    case $argument in
        --allow-dirty) allow_dirty=true ;;
        -*) echo "usage: $0 [--allow-dirty] [FOLDER]" >&2; exit 2 ;;
        *) folder=$argument ;;
    esac
done
deb_suites=(bookworm trixie)

install_missing git
commit=$(git rev-parse HEAD)
dirty=
[ -z "$(git status --porcelain)" ] || dirty=-dirty
if ! $allow_dirty && [ -n "$dirty" ]; then
    echo "The tree has uncommitted changes, and a release is a commit: commit them," \
         "or give --allow-dirty to release the working tree's files as they are." >&2
    git status --short >&2
    exit 1
fi
require_windows_qt

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
# What the packages' SPDX documents name as their source.
export KELVARA_COMMIT=$commit$dirty
# Every file and folder the build makes takes its mode from the umask,
# and the packages carry those modes.
umask 022

mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
work=$(mktemp -d "${TMPDIR:-/var/tmp}/kelvara-release.XXXXXX")
trap 'rm -rf --one-file-system "$work"' EXIT
source=$work/kelvara
mkdir "$source"
if $allow_dirty; then
    scripts/lib/working_tree.sh | tar -x -C "$source"
else
    git archive HEAD | tar -x -C "$source"
fi

# The build may run in a chroot, which sees only the sources' folder.
if [ -n "${KELVARA_SIGNING_CERT:-}" ]; then
    mkdir -m 700 "$source/.signing"
    cp "$KELVARA_SIGNING_CERT" "$source/.signing/certificate.p12"
    export KELVARA_SIGNING_CERT=$source/.signing/certificate.p12
    if [ -n "${KELVARA_SIGNING_PASSWORD_FILE:-}" ]; then
        cp "$KELVARA_SIGNING_PASSWORD_FILE" "$source/.signing/password"
        export KELVARA_SIGNING_PASSWORD_FILE=$source/.signing/password
    fi
    signing="signed with Authenticode"
else
    signing="unsigned: KELVARA_SIGNING_CERT names no certificate"
fi
echo "The Windows program and installer will be $signing."

for suite in "${deb_suites[@]}"; do
    echo "== Release: the Debian package for $suite"
    if [ "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")" = "$suite" ]; then
        "$source/scripts/lib/release_deb.sh" "build-deb-$suite"
    else
        "$source/scripts/lib/chroot.sh" "$suite" scripts/lib/release_deb.sh "build-deb-$suite"
    fi
done
echo "== Release: the Windows ZIP and installer"
"$source/scripts/build_windows.sh" "$source/build-windows"

rm -f "$folder"/kelvara[-_]* "$folder/SHA256SUMS"
cp "$source"/build-deb-*/kelvara_*.deb{,.spdx.json} "$source"/build-windows/kelvara-*-win64.{zip,exe}{,.spdx.json} \
    "$folder/"
(cd "$folder" && LC_ALL=C sha256sum kelvara[-_]* >SHA256SUMS)
echo "Released ${commit:0:12}${dirty:+ with its uncommitted changes} in $folder:"
(cd "$folder" && cat SHA256SUMS)
