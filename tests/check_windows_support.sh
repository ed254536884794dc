#!/usr/bin/env bash
# Usage: check_windows_support.sh SOURCE_DIR
# Cross-compiles the Windows-only source with MinGW, warnings as errors, and
# checks that the executable exports the GPU preference symbols by their
# plain names.
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

x86_64-w64-mingw32-g++ -std=c++17 -Wall -Wextra -Werror -I"$source_dir" \
    "$source_dir/app/windows_support.cpp" "$source_dir/tests/windows_entry.cpp" \
    -o "$work/kelvara_windows_support.exe"
echo "compiled with -Wall -Wextra -Werror"

exports=$(x86_64-w64-mingw32-objdump -p "$work/kelvara_windows_support.exe" \
    | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
for symbol in NvOptimusEnablement AmdPowerXpressRequestHighPerformance; do
    if ! grep -qE "\] ${symbol}\$" <<<"$exports"; then
        echo "$symbol is not exported by its plain name" >&2
        echo "$exports" >&2
        exit 1
    fi
    echo "exports $symbol"
done
