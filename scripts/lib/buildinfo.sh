#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: buildinfo.sh RECORD PACKAGE...
# Writes RECORD, a record of what built the PACKAGEs (a Debian package, or
# the Windows ZIP and installer) in Debian's .buildinfo format: the commit
# they come from, their checksums, the build's date, the environment
# variables that shape the bytes, and every package installed on the
# system that built them, with its exact version. The Windows record also
# names the Qt for Windows it was built against, by a checksum over its
# files. Run where the packages were built, as the release does.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/windows_env.sh

record=${1:?usage: $0 RECORD PACKAGE...}
shift
[ $# -gt 0 ] || { echo "usage: $0 RECORD PACKAGE..." >&2; exit 2; }
: "${SOURCE_DATE_EPOCH:?is not set: the record's date is the build's}"

checksums() {
    local tool=$1 package
    for package in "${@:2}"; do
        printf ' %s %s %s\n' "$("$tool" <"$package" | cut -d' ' -f1)" "$(stat -c %s "$package")" "${package##*/}"
    done
}

if [[ $1 == *.deb ]]; then
    version=$(dpkg-deb --field "$1" Version)
    architecture=$(dpkg-deb --field "$1" Architecture)
else
    version=${1##*/kelvara-}
    version=${version%-win64.*}
    architecture=windows-amd64
fi

{
    echo "Format: 1.0"
    echo "Source: kelvara"
    echo "Binary: kelvara"
    echo "Architecture: $architecture"
    echo "Version: $version"
    echo "X-Kelvara-Commit: ${KELVARA_COMMIT:-unknown}"
    echo "Checksums-Md5:"
    checksums md5sum "$@"
    echo "Checksums-Sha1:"
    checksums sha1sum "$@"
    echo "Checksums-Sha256:"
    checksums sha256sum "$@"
    echo "Build-Origin: $(. /etc/os-release && echo "$NAME" | sed 's: GNU/Linux$::')"
    echo "Build-Architecture: $(dpkg --print-architecture)"
    echo "Build-Date: $(LC_ALL=C date -u -R -d "@$SOURCE_DATE_EPOCH")"
    if [[ $1 != *.deb ]]; then
        qt_checksum=$(cd "$KELVARA_WINDOWS_QT" && find . \( -type f -o -type l \) -print0 | LC_ALL=C sort -z \
            | xargs -0 sha256sum | sha256sum | cut -d' ' -f1)
        echo "X-Kelvara-Windows-Qt: Qt $windows_qt_version, sha256 $qt_checksum over its files"
        echo "X-Kelvara-Windows-Qt-Sources: $windows_qt_sources"
    fi
    echo "Installed-Build-Depends:"
    dpkg-query --show --showformat '${db:Status-Abbrev}${binary:Package} (= ${Version})\n' \
        | sed -n 's/^ii *\(.*\)/ \1,/p' | LC_ALL=C sort | sed '$ s/,$//'
    echo "Environment:"
    for variable in DEB_BUILD_MAINT_OPTIONS SOURCE_DATE_EPOCH; do
        [ -z "${!variable:-}" ] || echo " $variable=\"${!variable}\""
    done
} >"$record"
