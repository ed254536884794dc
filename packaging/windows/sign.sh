#!/bin/sh
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: sign.sh FILE
# Signs the Windows program or installer FILE in place with Authenticode,
# SHA-256, with the PKCS#12 certificate that KELVARA_SIGNING_CERT names, its
# password read from KELVARA_SIGNING_PASSWORD_FILE where that is set, and a
# time stamp from KELVARA_SIGNING_TIMESTAMP_URL where that is set. The build
# runs it as the last change to each file it signs.
set -eu
file=$1
: "${KELVARA_SIGNING_CERT:?names no certificate: this build was configured to sign}"
set -- sign -pkcs12 "$KELVARA_SIGNING_CERT" -h sha256
[ -z "${KELVARA_SIGNING_PASSWORD_FILE:-}" ] || set -- "$@" -readpass "$KELVARA_SIGNING_PASSWORD_FILE"
[ -z "${KELVARA_SIGNING_TIMESTAMP_URL:-}" ] || set -- "$@" -ts "$KELVARA_SIGNING_TIMESTAMP_URL"
rm -f "$file.signed"
osslsigncode "$@" -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
