#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: release.sh [--allow-dirty] [FOLDER]
# Makes the release of the current commit in FOLDER (release/ in the
# project by default; a relative FOLDER is taken from where it is run): a
# Debian package for each Debian release that scripts/lib/debian_releases.sh
# names, built in that release (here, or in a chroot of it:
# scripts/lib/chroot.sh), the Windows ZIP and installer
# (scripts/build_windows.sh), a .buildinfo beside each that records what
# built it (scripts/lib/buildinfo.sh), and SHA256SUMS over them all.
# It builds the commit's files, exported into a folder of their own, at the
# commit's time (SOURCE_DATE_EPOCH, unless one is set) and with umask 022,
# so that the same commit, built with the same tools, gives the same bytes
# wherever, whenever and by whomever it is released. It refuses a tree with
# uncommitted changes; --allow-dirty releases the files of the working tree
# instead. Of what FOLDER holds, it replaces only the files that an earlier
# release wrote there, as that release's SHA256SUMS lists them.
# With a PKCS#12 certificate in KELVARA_SIGNING_CERT (its password in the
# file KELVARA_SIGNING_PASSWORD_FILE names, if it has one, and a time-stamp
# server in KELVARA_SIGNING_TIMESTAMP_URL, if one is to be asked), it signs
# kelvara.exe, the installer and the installer's uninstaller with
# Authenticode (packaging/windows/sign.sh).
set -euo pipefail

usage() { echo "usage: $0 [--allow-dirty] [FOLDER]" >&2; exit 2; }
allow_dirty=false
folder=
for argument; do
    case $argument in
        --allow-dirty) allow_dirty=true ;;
        -*) usage ;;
        *) [ -z "$folder" ] || usage; folder=$(realpath -m -- "$argument") ;;
    esac
done

# A certificate the user named but that cannot be used would give an
# unsigned release, so it ends the release before any work.
for variable in KELVARA_SIGNING_CERT KELVARA_SIGNING_PASSWORD_FILE; do
    file=${!variable:-}
    [ -n "$file" ] || continue
    if [ ! -f "$file" ] || [ ! -r "$file" ]; then
        echo "$variable names '$file', which is not a file that can be read: no release was made." >&2
        exit 1
    fi
    file=$(realpath -- "$file")
    printf -v "$variable" %s "$file"
done
if [ -n "${KELVARA_SIGNING_PASSWORD_FILE:-}" ] && [ -z "${KELVARA_SIGNING_CERT:-}" ]; then
    echo "KELVARA_SIGNING_PASSWORD_FILE is set but KELVARA_SIGNING_CERT is not: no release was made." >&2
    exit 1
fi

cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/windows_env.sh
source scripts/lib/debian_releases.sh
folder=${folder:-$PWD/release}

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

# The files that an earlier release wrote into the folder: those its
# SHA256SUMS lists, as long as they are still what it wrote. Anything else
# there is the user's, and the release neither deletes nor overwrites it.
earlier=()
if [ -f "$folder/SHA256SUMS" ]; then
    while read -r sum name; do
        name=${name#\*}
        if [[ $name != kelvara[-_]* || $name == */* ]]; then
            echo "$folder/SHA256SUMS lists $name, which no release makes: it is not a release's" \
                 "folder. Give another FOLDER." >&2
            exit 1
        fi
        [ -f "$folder/$name" ] && echo "$sum  $folder/$name" | sha256sum --check --status \
            && earlier+=("$name")
    done <"$folder/SHA256SUMS"
fi

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
# What the packages' SPDX documents and build records name as their source.
export KELVARA_COMMIT=$commit$dirty
# Every file and folder the build makes takes its mode from the umask,
# and the packages carry those modes.
umask 022

work=$(mktemp -d "${TMPDIR:-/var/tmp}/kelvara-release.XXXXXX")
# What the chroot builds is root's, so a user who is not root removes it
# with sudo, as the chroot ran.
trap 'rm -rf --one-file-system "$work" 2>/dev/null || sudo rm -rf --one-file-system "$work"' EXIT
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

# Runs a command of the exported sources on the Debian release named,
# here when this is that release, else in a chroot of it.
on_debian() {
    local suite=$1
    shift
    if [ "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")" = "$suite" ]; then
        "$source/$1" "${@:2}"
    else
        "$source/scripts/lib/chroot.sh" "$suite" "$@"
    fi
}

outputs=()
for release in "${debian_releases[@]}"; do
    suite=${release#*:}
    echo "== Release: the Debian package for $suite"
    on_debian "$suite" scripts/lib/release_deb.sh "build-deb-$suite"
    outputs+=("$source/build-deb-$suite"/kelvara_*.{deb,deb.spdx.json,buildinfo})
done
echo "== Release: the Windows ZIP and installer"
"$source/scripts/build_windows.sh" "$source/build-windows"
windows=("$source"/build-windows/kelvara-*-win64.{zip,exe})
windows_record=${windows[0]%.zip}.buildinfo
if has_windows_qt_host_tools; then
    "$source/scripts/lib/buildinfo.sh" "$windows_record" "${windows[@]}"
else
    "$source/scripts/lib/chroot.sh" "$windows_qt_suite" scripts/lib/buildinfo.sh "$windows_record" "${windows[@]}"
fi
outputs+=("${windows[@]}" "${windows[@]/%/.spdx.json}" "$windows_record")

# Nothing is replaced unless all can be: a file of the user's that has the
# name of a new one stops the release with the earlier one whole.
for file in "${outputs[@]}" SHA256SUMS; do
    name=${file##*/}
    if [ -e "$folder/$name" ] && [[ " ${earlier[*]} SHA256SUMS " != *" $name "* ]]; then
        echo "$folder/$name is not a file an earlier release made, and the release would" \
             "overwrite it: move it away, or give another FOLDER. Nothing was released." >&2
        exit 1
    fi
done
mkdir -p "$folder"
for name in "${earlier[@]}" SHA256SUMS; do
    rm -f "$folder/$name"
done
cp "${outputs[@]}" "$folder/"
(cd "$folder" && LC_ALL=C sha256sum "${outputs[@]##*/}" | LC_ALL=C sort -k 2 >SHA256SUMS)
echo "Released ${commit:0:12}${dirty:+ with its uncommitted changes} in $folder:"
cat "$folder/SHA256SUMS"
