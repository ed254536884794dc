#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Renders the house icon from packaging/kelvara.svg into PNG sizes, of which
# the program embeds 16 to 64 as its window icon, and packs them all into the
# Windows icon. Run it after changing the SVG and commit what it writes.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh

install_missing librsvg2-bin imagemagick

sizes=(16 24 32 48 64 128 256)
pngs=()
for size in "${sizes[@]}"; do
    png=packaging/icons/kelvara-$size.png
    rsvg-convert --width "$size" --height "$size" packaging/kelvara.svg \
        | convert - -strip "png32:$png"
    pngs+=("$png")
done
convert "${pngs[@]}" packaging/windows/kelvara.ico
echo "wrote ${pngs[*]} and packaging/windows/kelvara.ico"
