#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: check_release.sh PROJECT_DIR SPDX_SCHEMA
# Releases the project's working tree twice: once from the project, then
# from a clone of it in another folder, minutes later, under umask 077, in
# another time zone and the C locale. Passes when each release holds every
# package with its SPDX document, SHA256SUMS checks out, the two are the
# same bytes, and each package's SPDX document checks out
# (check_spdx.py); on a difference, prints what diffoscope finds in it.
set -euo pipefail
project=$1 schema=$2
work=$(mktemp -d "${TMPDIR:-/var/tmp}/kelvara-release-check.XXXXXX")
trap 'rm -rf --one-file-system "$work"' EXIT

# The clone carries the working tree's changes, so both release the same files.
git clone -q --no-local "$project" "$work/clone"
git -C "$project" ls-files -z --cached --others --exclude-standard \
    | (cd "$project" && xargs -0 -r sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh) \
    | (cd "$project" && tar -c --null -T -) | tar -x -C "$work/clone"

"$project/scripts/release.sh" --allow-dirty "$work/first"
(cd "$work/clone" && umask 077 && TZ=Asia/Tokyo LC_ALL=C scripts/release.sh --allow-dirty "$work/second")

status=0
for release in first second; do
    for package in 'kelvara_*+deb12_amd64.deb' 'kelvara_*+deb13_amd64.deb' 'kelvara-*-win64.zip' \
                   'kelvara-*-win64.exe' 'kelvara_*+deb12_amd64.deb.spdx.json' \
                   'kelvara_*+deb13_amd64.deb.spdx.json' 'kelvara-*-win64.zip.spdx.json' \
                   'kelvara-*-win64.exe.spdx.json'; do
        if ! compgen -G "$work/$release/$package" >/dev/null; then
            echo "FAIL: the $release release has no $package" >&2
            status=1
        fi
    done
    (cd "$work/$release" && sha256sum --check --strict SHA256SUMS) || status=1
done
for file in "$work"/first/*; do
    name=${file##*/}
    if ! cmp -s "$file" "$work/second/$name"; then
        echo "FAIL: $name differs between the two releases; diffoscope finds:" >&2
        diffoscope --text - "$file" "$work/second/$name" | head -n 200 >&2 || true
        status=1
    fi
done
[ $status -ne 0 ] || echo "The two releases are the same bytes: $(ls "$work/first" | tr '\n' ' ')"
python3 "$(dirname "$0")/check_spdx.py" "$schema" "$work"/first/*.deb || status=1
python3 "$(dirname "$0")/check_spdx.py" "$schema" \
    --expect qt6-base,mesa,llvm-toolchain-19,gcc-mingw-w64,mingw-w64 "$work"/first/*.zip || status=1
exit $status
