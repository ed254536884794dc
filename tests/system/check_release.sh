#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: check_release.sh make PROJECT_DIR RELEASES
#        check_release.sh reproducible RELEASES SPDX_SCHEMA COMPONENT,...
#        check_release.sh signed RELEASES
# make: commits the project's working tree in a clone of it
#   (RELEASES/clone), shows that the release refuses the clone with an
#   uncommitted file, then releases the commit twice:
#   first, into the clone's release/, which must leave the clone's status as
#   git sees it alone;
#   signed, with a code-signing certificate from a throwaway certificate
#   authority, run from RELEASES and given relative paths with spaces, into
#   a folder that holds the first release and a file of the user's, which
#   must survive; and lays out RELEASES/signed-program as a Windows build
#   for tst_windows_program.
# reproducible: the first release holds every package with its SPDX
#   document and .buildinfo record, SHA256SUMS checks out, each package's
#   SPDX document checks out (check_spdx.py) and those of the Windows
#   packages name each COMPONENT, each Debian package's program
#   has the protections of Debian's own, and scripts/rebuild.sh, run from
#   another folder minutes later under umask 077, in another time zone and
#   the C locale, finds it reproduced; given a copy with a changed byte it
#   stops at the checksums, and given one whose ZIP and record were changed
#   along with SHA256SUMS it names the ZIP and the package.
# signed: osslsigncode, trusting that authority, accepts kelvara.exe from
#   the ZIP, the installer and the uninstaller it installs under Wine, and
#   refuses kelvara.exe with one byte changed; the signature taken from the
#   signed kelvara.exe, attached to the unsigned one, gives the signed file.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/debian_releases.sh"
status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

make_releases() {
    local project=$1 releases=$2 output
    rm -rf --one-file-system "$releases"
    mkdir -p "$releases/signing keys"

    # A release is of a commit: the working tree's changes, committed.
    git clone -q --no-local "$project" "$releases/clone"
    "$project/scripts/lib/working_tree.sh" | tar -x -C "$releases/clone"
    git -C "$releases/clone" add -A
    git -C "$releases/clone" diff --cached --quiet \
        || git -C "$releases/clone" -c user.name=Kelvara -c user.email=developers@kelvara.org \
            commit -q -m "The working tree under test"

    (
        cd "$releases/signing keys"
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

    touch "$releases/clone/uncommitted"
    if output=$(cd "$releases/clone" && scripts/release.sh "$releases/refused" 2>&1); then
        fail "a tree with an uncommitted file was released"
    fi
    [[ $output == *"uncommitted changes"*"?? uncommitted"* ]] \
        || fail "the refusal of an uncommitted file does not say why: $output"
    [ ! -e "$releases/refused" ] || fail "the refused release made its folder"
    rm "$releases/clone/uncommitted"

    # Into the clone's own release/, which the tree as git sees it must not
    # gain, so that the next release is not refused.
    git -C "$releases/clone" status --porcelain >"$releases/clone-status"
    (cd "$releases/clone" && scripts/release.sh)
    git -C "$releases/clone" status --porcelain | diff "$releases/clone-status" - >&2 \
        || fail "the release left files that git sees in the tree (above)"
    mv "$releases/clone/release" "$releases/first"

    mkdir "$releases/signed release"
    cp "$releases"/first/* "$releases/signed release/"
    echo "the user's own notes" >"$releases/signed release/kelvara-notes.txt"
    (cd "$releases" && KELVARA_SIGNING_CERT="signing keys/signer.p12" \
        KELVARA_SIGNING_PASSWORD_FILE="signing keys/password" clone/scripts/release.sh "signed release")
    [ "$(cat "$releases/signed release/kelvara-notes.txt")" = "the user's own notes" ] \
        || fail "the release did not keep a file it had not made"
    (cd "$releases/signed release" && ls | grep -v -x -e SHA256SUMS -e kelvara-notes.txt) \
        | diff <(cd "$releases/first" && ls | grep -v -x SHA256SUMS) - >&2 \
        || fail "the signed release's folder does not hold the files of one release and the user's (above)"

    mkdir "$releases/signed-program"
    ln -s "$releases/signed release"/kelvara-*-win64.zip "$releases/signed release"/kelvara-*-win64.exe \
        "$releases/signed-program/"
    unzip -j -q "$releases/signed release"/kelvara-*-win64.zip '*/bin/kelvara.exe' -d "$releases/signed-program"
}

# Runs rebuild.sh as a user would, from another folder, on the download
# in $1; the output goes to $2.
rebuild() {
    (cd "$releases" && umask 077 && TZ=Asia/Tokyo LC_ALL=C clone/scripts/rebuild.sh "$1") >"$2" 2>&1
}

check_reproducible() {
    local releases=$1 schema=$2 components=$3 release package file record version program protection protections
    local extracted entries functions
    local packages=('kelvara-*-win64.zip' 'kelvara-*-win64.exe')
    for release in "${debian_releases[@]}"; do
        packages+=("kelvara_*+deb${release%%:*}_amd64.deb")
    done
    for package in "${packages[@]}"; do
        for file in "$package" "$package.spdx.json" "${package%.*}.buildinfo"; do
            compgen -G "$releases/first/$file" >/dev/null || fail "the release has no $file"
        done
    done
    (cd "$releases/first" && sha256sum --check --strict SHA256SUMS) || fail "SHA256SUMS of the release"
    python3 "$here/check_spdx.py" "$schema" "$releases"/first/*.deb "$releases"/first/*.exe || status=1
    python3 "$here/check_spdx.py" "$schema" --expect "$components" \
        "$releases"/first/*.zip || status=1

    # What each record says built it: the exact versions of the tools.
    for record in "$releases"/first/*.buildinfo; do
        grep -qE '^ (cmake|g\+\+|qt6-base-dev(:amd64)?) \(= [^ ]+\),$' "$record" \
            || fail "${record##*/} names no exact version of the compiler, CMake or Qt"
    done
    grep -q '^X-Kelvara-Windows-Qt: Qt [0-9.]*, sha256 [0-9a-f]\{64\} over its files$' \
        "$releases"/first/kelvara-*-win64.buildinfo || fail "the Windows record does not name its Qt for Windows"

    # The protections that Debian's compiler flags give. Control flow
    # protection (-fcf-protection, from Debian 13 on) puts an endbr64 at the
    # entry of each function that may be called indirectly; hardening-check
    # looks for the program's CET note instead, which the linker leaves out
    # on Debian 13 for every program, as glibc's start files carry none.
    extracted=$(mktemp -d)
    for package in "$releases"/first/*.deb; do
        version=$(dpkg-deb --field "$package" Version)
        dpkg-deb -x "$package" "$extracted/$version"
        program=$extracted/$version/usr/libexec/kelvara/kelvara
        protections=$(hardening-check "$program" || true)
        for protection in "Stack protected" "Immediate binding"; do
            grep -q "^ $protection: yes" <<<"$protections" \
                || fail "the program of $version lacks '$protection': $protections"
        done
        if [ "${version##*+deb}" -ge 13 ]; then
            entries=$(objdump -d "$program" | grep -c endbr64 || true)
            functions=$(objdump -d "$program" | grep -c '>:$' || true)
            [ $((entries * 2)) -ge "$functions" ] \
                || fail "the program of $version has no control flow protection: $entries endbr64 in $functions functions"
        fi
    done
    rm -rf "$extracted"

    if rebuild first "$releases/rebuilt.txt"; then
        echo "scripts/rebuild.sh: $(tail -n 1 "$releases/rebuilt.txt")"
    else
        fail "scripts/rebuild.sh did not reproduce the release:"
        cat "$releases/rebuilt.txt" >&2
    fi
    tail -n 1 "$releases/rebuilt.txt" | grep -q '^Reproduced: ' || fail "its last line does not say it is reproduced"

    # A download that is not what its checksums say stops before any build.
    cp -r "$releases/first" "$releases/changed download"
    printf 'X' | dd of="$(echo "$releases/changed download"/kelvara-*-win64.zip)" bs=1 seek=2000 conv=notrunc status=none
    ! rebuild "changed download" "$releases/changed.txt" \
        && grep -q 'kelvara-.*-win64.zip: FAILED' "$releases/changed.txt" \
        && ! grep -q '== Releasing' "$releases/changed.txt" \
        || fail "a download that its checksums do not match was not refused at once: $(cat "$releases/changed.txt")"

    # A release whose ZIP and whose Debian 13 record say other than their
    # build, with checksums to match, as a mirror that serves both would.
    cp -r "$releases/first" "$releases/tampered download"
    (
        cd "$releases/tampered download"
        printf 'X' | dd of="$(echo kelvara-*-win64.zip)" bs=1 seek=2000 conv=notrunc status=none
        sed -i 's/^ cmake (= \(.*\)),$/ cmake (= \1+other),/' kelvara_*+deb13_amd64.buildinfo
        sha256sum kelvara[-_]* >SHA256SUMS
    )
    if rebuild "tampered download" "$releases/tampered.txt"; then
        fail "scripts/rebuild.sh reproduced a tampered release"
    fi
    tail -n 1 "$releases/tampered.txt" | grep -q '^Not reproduced: kelvara-.*-win64.zip differs.*deb13_amd64.buildinfo (cmake)' \
        || fail "scripts/rebuild.sh did not name the changed ZIP and package: $(cat "$releases/tampered.txt")"
    [ $status -ne 0 ] || echo "scripts/rebuild.sh named the changed file and package: $(tail -n 1 "$releases/tampered.txt")"
}

verify() {
    osslsigncode verify -CAfile "$releases/signing keys/ca.pem" -in "$1" >"$work/verify.txt" 2>&1
}

check_signed() {
    local releases=$1 file
    work=$(mktemp -d)
    trap 'rm -rf "$work"; wineserver -k 2>/dev/null || true' EXIT

    unzip -j -q "$releases/signed release"/kelvara-*-win64.zip '*/bin/kelvara.exe' -d "$work/signed"
    unzip -j -q "$releases"/first/kelvara-*-win64.zip '*/bin/kelvara.exe' -d "$work/unsigned"
    verify "$work/signed/kelvara.exe" || fail "kelvara.exe from the ZIP does not verify: $(cat "$work/verify.txt")"
    verify "$releases/signed release"/kelvara-*-win64.exe || fail "the installer does not verify: $(cat "$work/verify.txt")"
    ! verify "$work/unsigned/kelvara.exe" || fail "the unsigned kelvara.exe verifies"

    source "$here/../../scripts/lib/windows_env.sh"
    make_wine_prefix "$work/prefix"
    wine "$(echo "$releases/signed release"/kelvara-*-win64.exe)" /S '/D=C:\Kelvara'
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
    osslsigncode attach-signature -sigin "$work/signature.der" -CAfile "$releases/signing keys/ca.pem" \
        -in "$work/unsigned/kelvara.exe" -out "$work/attached.exe" >"$work/attach.txt" 2>&1 \
        || fail "the signature does not attach to the unsigned kelvara.exe: $(cat "$work/attach.txt")"
    cmp "$work/attached.exe" "$work/signed/kelvara.exe" \
        || fail "the signature attached to the unsigned kelvara.exe does not give the signed one"
    [ $status -ne 0 ] || echo "kelvara.exe, the installer and the uninstaller are signed; a changed byte fails;" \
        "the signature attached to the unsigned build gives the signed kelvara.exe"
}

case ${1:-} in
    make) make_releases "$2" "$3" ;;
    reproducible) check_reproducible "$2" "$3" "$4" ;;
    signed) check_signed "$2" ;;
    *) echo "usage: see the head of $0" >&2; exit 2 ;;
esac
exit $status
