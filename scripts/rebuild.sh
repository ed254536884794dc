#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: rebuild.sh FOLDER
# Checks a downloaded release: FOLDER holds some or all of its files, with
# its SHA256SUMS and .buildinfo records. Verifies the checksums, releases
# the commit that the records name again (scripts/release.sh, from this
# checkout's history) and compares every file. Where one differs, it says
# how this machine's build environment differs from the record of the one
# that built it, by package and version, and shows diffoscope's first
# lines. A signed kelvara.exe is compared with its signature moved onto the
# rebuilt one, and the other files of a signed ZIP one by one. Ends with one
# line: reproduced, or not and why.
set -euo pipefail
[ $# -eq 1 ] && [[ $1 != -* ]] || { echo "usage: $0 FOLDER" >&2; exit 2; }
download=$(realpath -m -- "$1")
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh

not_reproduced() { echo "Not reproduced: $*"; exit 1; }
[ -f "$download/SHA256SUMS" ] \
    || { echo "$download holds no SHA256SUMS: give the folder of a release's downloads." >&2; exit 1; }
records=("$download"/kelvara[-_]*.buildinfo)
[ -f "${records[0]}" ] \
    || { echo "$download holds no .buildinfo record of what built its packages." >&2; exit 1; }
install_missing git diffoscope-minimal osslsigncode unzip

echo "== The checksums"
(cd "$download" && sha256sum --check --ignore-missing --strict SHA256SUMS) \
    || not_reproduced "a file is not the one SHA256SUMS names (above)."
commit=$(sed -n 's/^X-Kelvara-Commit: //p' "${records[@]}" | sort -u)
if ! [[ $commit =~ ^[0-9a-f]{40}$ ]]; then
    echo "The records name '$commit', not one commit that can be built again." >&2
    exit 1
fi
git cat-file -e "$commit^{commit}" 2>/dev/null \
    || { echo "This checkout has no commit $commit: fetch it, then check again." >&2; exit 1; }
epoch=$(sed -n 's/^ SOURCE_DATE_EPOCH="\([0-9]*\)"$/\1/p' "${records[0]}")

work=$(mktemp -d "${TMPDIR:-/var/tmp}/kelvara-rebuild.XXXXXX")
trap 'rm -rf --one-file-system "$work"' EXIT
echo "== Releasing ${commit:0:12} again"
git clone -q --shared --no-checkout . "$work/kelvara"
git -C "$work/kelvara" checkout -q --detach "$commit"
env -u KELVARA_SIGNING_CERT -u KELVARA_SIGNING_PASSWORD_FILE -u KELVARA_SIGNING_TIMESTAMP_URL \
    SOURCE_DATE_EPOCH="${epoch:-$(git log -1 --format=%ct "$commit")}" \
    "$work/kelvara/scripts/release.sh" "$work/rebuilt" >"$work/release.log" 2>&1 \
    || { tail -n 20 "$work/release.log" >&2; echo "Releasing $commit again failed (above)." >&2; exit 1; }
rebuilt=$work/rebuilt

# NAME VERSION of each package a record lists as installed.
installed() {
    sed -n '/^Installed-Build-Depends:/,/^[^ ]/s/^ \([^ ]*\) (= \(.*\)),\{0,1\}$/\1 \2/p' "$1" | LC_ALL=C sort
}
# How the environment here differs from the one a record names: each
# package whose version differs, and each other line of the record.
environment_differences() {
    local record=$1 here=$2
    LC_ALL=C join -a 1 -a 2 -e none -o 0,1.2,2.2 <(installed "$record") <(installed "$here") \
        | awk '$2 != $3 { printf "    %s: %s in the record, %s here\n", $1, $2, $3 }'
    diff <(grep -vE '^(Checksums-|Installed-Build-Depends:|Environment:| )' "$record") \
         <(grep -vE '^(Checksums-|Installed-Build-Depends:|Environment:| )' "$here") \
        | sed -n 's/^< /    the record: /p; s/^> /    here: /p'
    diff <(sed -n '/^Environment:/,$p' "$record") <(sed -n '/^Environment:/,$p' "$here") \
        | sed -n 's/^< /    the record: /p; s/^> /    here: /p'
}

# A signed ZIP is the rebuilt one signed when it lists the same files,
# each the same bytes but for kelvara.exe, which attaching its signature to
# the rebuilt one gives, and the SPDX document, which lists it.
signed_zip_matches() {
    local zip=$1 entry
    mkdir -p "$work/signed" "$work/unsigned"
    unzip -p "$download/$zip" '*/bin/kelvara.exe' >"$work/signed/kelvara.exe"
    unzip -p "$rebuilt/$zip" '*/bin/kelvara.exe' >"$work/unsigned/kelvara.exe"
    rm -f "$work/signature.der" "$work/attached.exe"
    osslsigncode extract-signature -in "$work/signed/kelvara.exe" -out "$work/signature.der" >/dev/null 2>&1 \
        || return 1
    # attach-signature fails where this machine does not trust the
    # signer, after it has written the file; whether the signature holds
    # is osslsigncode verify's to say.
    osslsigncode attach-signature -sigin "$work/signature.der" -in "$work/unsigned/kelvara.exe" \
        -out "$work/attached.exe" >/dev/null 2>&1 || true
    cmp -s "$work/attached.exe" "$work/signed/kelvara.exe" || return 1
    [ "$(unzip -Z1 "$download/$zip")" = "$(unzip -Z1 "$rebuilt/$zip")" ] || return 1
    while read -r entry; do
        case $entry in */ | */bin/kelvara.exe | */licenses/kelvara.spdx.json) continue ;; esac
        cmp -s <(unzip -p "$download/$zip" "$entry") <(unzip -p "$rebuilt/$zip" "$entry") || return 1
    done < <(unzip -Z1 "$download/$zip")
}

# Whether the Windows packages were signed: their program or installer
# carries a signature.
signed_download=false
for file in "$download"/kelvara-*-win64.exe "$download"/kelvara-*-win64.zip; do
    [ -f "$file" ] || continue
    [[ $file == *.exe ]] || { unzip -p "$file" '*/bin/kelvara.exe' >"$work/program.exe"; file=$work/program.exe; }
    if osslsigncode extract-signature -in "$file" -out "$work/any.der" >/dev/null 2>&1; then
        signed_download=true
    fi
done

echo "== Comparing"
same=0 differing=() signed=() uncompared=() explained=()
while read -r _ name; do
    name=${name#\*}
    [ -f "$download/$name" ] || continue
    if cmp -s "$download/$name" "$rebuilt/$name"; then
        same=$((same + 1))
        continue
    fi
    case $name in
        *.buildinfo) ;;
        *-win64.zip)
            if signed_zip_matches "$name"; then
                echo "$name: its files are the rebuilt ones, and its kelvara.exe the rebuilt one with its" \
                     "signature moved over"
                signed+=("$name")
                continue
            fi
            differing+=("$name") ;;
        *-win64.exe | *-win64.*.spdx.json)
            # What holds or lists signed files cannot be the bytes of an
            # unsigned rebuild.
            if $signed_download; then
                echo "$name: signed, or lists signed files, so an unsigned rebuild cannot give its bytes"
                uncompared+=("$name")
                continue
            fi
            differing+=("$name") ;;
        *) differing+=("$name") ;;
    esac
    [[ $name == *.buildinfo ]] || {
        echo "$name differs; diffoscope finds:"
        diffoscope --text - "$download/$name" "$rebuilt/$name" 2>/dev/null | head -n 20 | sed 's/^/    /' || true
    }
done <"$download/SHA256SUMS"

# Each record whose environment differs, with how.
for record in "${records[@]}"; do
    name=${record##*/}
    differences=$(environment_differences "$record" "$rebuilt/$name")
    if [ -n "$differences" ]; then
        echo "$name: this machine's build environment differs from the record:"
        echo "$differences"
        packages=$(echo "$differences" | sed -n 's/^    \([^ :]*\):.*/\1/p' | head -n 5 | paste -sd, -)
        explained+=("$name (${packages:-not in its packages})")
    fi
done

if [ ${#differing[@]} -eq 0 ]; then
    echo -n "Reproduced: $same files of ${commit:0:12} are the same bytes as a rebuild here"
    [ ${#signed[@]} -eq 0 ] || echo -n ", and the signed program in ${signed[*]} is the rebuilt one signed"
    [ ${#uncompared[@]} -eq 0 ] || echo -n "; not compared, being signed: ${uncompared[*]}"
    [ ${#explained[@]} -eq 0 ] || echo -n "; the build environment differs from ${explained[*]}"
    echo .
    exit 0
fi
why="the build environment here is the one recorded"
[ ${#explained[@]} -eq 0 ] || why="this machine's build environment differs from ${explained[*]}"
verb=differ
[ ${#differing[@]} -gt 1 ] || verb=differs
not_reproduced "${differing[*]} $verb from a rebuild of ${commit:0:12}; $why."
