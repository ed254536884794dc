#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: check_release.sh make PROJECT_DIR RELEASES
#        check_release.sh reproducible RELEASES SPDX_SCHEMA
#        check_release.sh signed RELEASES
# make: releases the project's working tree three times into RELEASES:
#   first, from the project;
#   second, from a clone of it in another folder, minutes later, under
#   umask 077, in another time zone and the C locale, into the clone's
#   release/, which must leave the clone's status as git sees it alone;
#   signed, from the project, with a code-signing certificate from a
#   throwaway certificate authority (RELEASES/ca), and lays out
#   RELEASES/signed-program as a Windows build for tst_windows_program.
# reproducible: each unsigned release holds every package with its SPDX
#   document, SHA256SUMS checks out, the two are the same bytes (on a
#   difference it prints what diffoscope finds), and each package's SPDX
#   document checks out (check_spdx.py).
# signed: osslsigncode, trusting that authority, accepts kelvara.exe from
#   the ZIP, the installer and the uninstaller it installs under Wine, and
#   refuses kelvara.exe with one byte changed; the signature taken from the
#   signed kelvara.exe, attached to the unsigned one, gives the signed file.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

make_releases() {
    local project=$1 releases=$2
    rm -rf --one-file-system "$releases"
    mkdir -p "$releases/ca"

    # The clone carries the working tree's changes, so that all release the
    # same files.
    git clone -q --no-local "$project" "$releases/clone"
    "$project/scripts/lib/working_tree.sh" | tar -x -C "$releases/clone"

    (
        cd "$releases/ca"
        openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
            -subj "/CN=Kelvara test CA" -addext basicConstraints=critical,CA:TRUE \
            -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
        openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
            -subj "/CN=Kelvara test signer" 2>/dev/null
        printf '%s\n' extendedKeyUsage=codeSigning keyUsage=critical,digitalSignature \
            basicConstraints=CA:FALSE >signer.ext
        openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
            -extfile signer.ext -out signer.pem 2>/dev/null
        echo "a throwaway password" >password
        openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
            -passout file:password -out signer.p12
    )

    "$project/scripts/release.sh" --allow-dirty "$releases/first"
    # The second goes into the clone's own release/, which the tree as git
    # sees it must not gain, so that the next release is not refused.
    git -C "$releases/clone" status --porcelain >"$releases/clone-status"
    (cd "$releases/clone" && umask 077 && TZ=Asia/Tokyo LC_ALL=C scripts/release.sh --allow-dirty)
    git -C "$releases/clone" status --porcelain | diff "$releases/clone-status" - >&2 \
        || fail "the release left files that git sees in the tree (above)"
    mv "$releases/clone/release" "$releases/second"
    KELVARA_SIGNING_CERT=$releases/ca/signer.p12 KELVARA_SIGNING_PASSWORD_FILE=$releases/ca/password \
        "$project/scripts/release.sh" --allow-dirty "$releases/signed"

    mkdir "$releases/signed-program"
    ln -s "$releases"/signed/kelvara-*-win64.zip "$releases"/signed/kelvara-*-win64.exe "$releases/signed-program/"
    unzip -j -q "$releases"/signed/kelvara-*-win64.zip '*/bin/kelvara.exe' -d "$releases/signed-program"
}

check_reproducible() {
    local releases=$1 schema=$2 release package file name
    for release in first second; do
        for package in 'kelvara_*+deb12_amd64.deb' 'kelvara_*+deb13_amd64.deb' 'kelvara-*-win64.zip' \
                       'kelvara-*-win64.exe'; do
            compgen -G "$releases/$release/$package" >/dev/null || fail "the $release release has no $package"
            compgen -G "$releases/$release/$package.spdx.json" >/dev/null \
                || fail "the $release release has no $package.spdx.json"
        done
        (cd "$releases/$release" && sha256sum --check --strict SHA256SUMS) || fail "SHA256SUMS of $release"
    done
    for file in "$releases"/first/*; do
        name=${file##*/}
        if ! cmp -s "$file" "$releases/second/$name"; then
            fail "$name differs between the two releases; diffoscope finds:"
            diffoscope --text - "$file" "$releases/second/$name" | head -n 200 >&2 || true
        fi
    done
    [ $status -ne 0 ] || echo "The two releases are the same bytes: $(ls "$releases/first" | tr '\n' ' ')"
    python3 "$here/check_spdx.py" "$schema" "$releases"/first/*.deb || status=1
    python3 "$here/check_spdx.py" "$schema" --expect qt6-base,mesa,llvm-toolchain-19,gcc-mingw-w64,mingw-w64 \
        "$releases"/first/*.zip || status=1
}

verify() {
    osslsigncode verify -CAfile "$releases/ca/ca.pem" -in "$1" >"$work/verify.txt" 2>&1
}

check_signed() {
    local releases=$1 file
    work=$(mktemp -d)
    trap 'rm -rf "$work"; wineserver -k 2>/dev/null || true' EXIT

    unzip -j -q "$releases"/signed/kelvara-*-win64.zip '*/bin/kelvara.exe' -d "$work/signed"
    unzip -j -q "$releases"/first/kelvara-*-win64.zip '*/bin/kelvara.exe' -d "$work/unsigned"
    verify "$work/signed/kelvara.exe" || fail "kelvara.exe from the ZIP does not verify: $(cat "$work/verify.txt")"
    verify "$releases"/signed/kelvara-*-win64.exe || fail "the installer does not verify: $(cat "$work/verify.txt")"
    ! verify "$work/unsigned/kelvara.exe" || fail "the unsigned kelvara.exe verifies"

    source "$here/../../scripts/lib/windows_env.sh"
    make_wine_prefix "$work/prefix"
    wine "$(echo "$releases"/signed/kelvara-*-win64.exe)" /S '/D=C:\Kelvara'
    wineserver -w
    file=$work/prefix/drive_c/Kelvara/Uninstall.exe
    if [ ! -f "$file" ]; then
        fail "the installer wrote no uninstaller"
    else
        verify "$file" || fail "the uninstaller does not verify: $(cat "$work/verify.txt")"
    fi

    # One byte changed in the middle of the program's code.
    cp "$work/signed/kelvara.exe" "$work/changed.exe"
    printf '\x5a' | dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc status=none
    cmp -s "$work/changed.exe" "$work/signed/kelvara.exe" && printf '\x5b' \
        | dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc status=none
    ! verify "$work/changed.exe" || fail "kelvara.exe with a byte changed still verifies"

    if ! osslsigncode extract-signature -in "$work/signed/kelvara.exe" -out "$work/signature.der" >/dev/null 2>&1; then
        fail "kelvara.exe holds no signature to take"
        return
    fi
    osslsigncode attach-signature -sigin "$work/signature.der" -CAfile "$releases/ca/ca.pem" \
        -in "$work/unsigned/kelvara.exe" -out "$work/attached.exe" >"$work/attach.txt" 2>&1 \
        || fail "the signature does not attach to the unsigned kelvara.exe: $(cat "$work/attach.txt")"
    cmp "$work/attached.exe" "$work/signed/kelvara.exe" \
        || fail "the signature attached to the unsigned kelvara.exe does not give the signed one"
    [ $status -ne 0 ] || echo "kelvara.exe, the installer and the uninstaller are signed; a changed byte fails;" \
        "the signature attached to the unsigned build gives the signed kelvara.exe"
}

case ${1:-} in
    make) make_releases "$2" "$3" ;;
    reproducible) check_reproducible "$2" "$3" ;;
    signed) check_signed "$2" ;;
    *) echo "usage: see the head of $0" >&2; exit 2 ;;
esac
exit $status
