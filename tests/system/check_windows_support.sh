#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: check_windows_support.sh SOURCE_DIR
# Cross-compiles the Windows-only source with MinGW, warnings as errors,
# into a GUI-subsystem executable that repeats the program's start-up and
# carries the program's resources (icon, version, manifest), checks its exports, and runs it under
# Wine: once with no console at all, and once from a console whose standard
# streams it redirects to a file, where the output must stay in the file.
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mingw=x86_64-w64-mingw32
compile=("$mingw-g++" -std=c++17 -Wall -Wextra -Werror -static -I"$source_dir/app")

# Says what failed and shows the named files, without a terminal's escapes.
fail() {
    echo "$1" >&2
    shift
    [ $# -eq 0 ] || sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$@" >&2
    exit 1
}

"$mingw-windres" -DKELVARA_VERSION=1.0.0 -DKELVARA_VERSION_FIELDS=1,0,0,0 \
    "$source_dir/packaging/windows/kelvara.rc" -O coff -o "$work/icon.o"
"${compile[@]}" -mwindows "$source_dir/app/windows_support.cpp" "$source_dir/tests/system/windows_entry.cpp" \
    "$work/icon.o" -o "$work/entry.exe"
"${compile[@]}" "$source_dir/tests/system/windows_launcher.cpp" -o "$work/launcher.exe"
echo "compiled with -Wall -Wextra -Werror, icon, version and manifest resources included"

headers=$("$mingw-objdump" -p "$work/entry.exe")
grep -qE 'Subsystem[[:space:]]+00000002' <<<"$headers" || fail "not a GUI-subsystem executable"
# The resource types at the top of the tree: 3 is an icon, 14 an icon group,
# 16 a version and 24 a manifest.
resource_types=$(sed -n '/The .rsrc Resource Directory section/,$p' <<<"$headers" \
    | grep -E '^[0-9a-f]+   Entry: ID: ' || true)
for type in 'icon 0x000003' 'icon group 0x00000e' 'version 0x000010' 'manifest 0x000018'; do
    grep -q "ID: ${type##* }," <<<"$resource_types" || fail "no ${type% *} resource in the executable"
done
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers")
for symbol in NvOptimusEnablement AmdPowerXpressRequestHighPerformance; do
    # binutils 2.44 and later print the hint before the name: "+base[   2]  0001 Name".
    grep -qE "[] ]${symbol}\$" <<<"$exports" || fail "$symbol is not exported by its plain name" <(echo "$exports")
    echo "exports $symbol"
done

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init >/dev/null 2>&1

# Started from no console (as from Explorer): the attach fails and the
# streams keep what they were given.
wine "$work/entry.exe" >"$work/direct.txt" 2>&1 </dev/null || fail "failed without a console" "$work/direct.txt"
expected_direct=$'\nstandard output: no console\nstandard error: no console'
[ "$(tr -d '\r' <"$work/direct.txt")" = "$expected_direct" ] \
    || fail "unexpected output without a console:" "$work/direct.txt"
echo "no console: nothing reopened, exit 0"

# Started from a console (a pseudo-terminal gives Wine one) with both streams
# redirected to a file: the attach succeeds and the output stays in the file.
script -qec "wine '$work/launcher.exe' '$work/entry.exe' '$(winepath -w "$work/redirected.txt")'" \
    /dev/null >"$work/console.txt" </dev/null || fail "failed from a console" "$work/console.txt"
for line in "standard output: attached to a console" "standard error: attached to a console"; do
    tr -d '\r' <"$work/redirected.txt" | grep -qxF "$line" \
        || fail "'$line' did not reach the redirected file; the console showed:" "$work/console.txt"
done
echo "console with redirected streams: attached, output kept in the file"
