#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: screenshot.sh PROGRAM PNG
# Starts PROGRAM on the current X display, waits for the Kelvara window,
# saves it to PNG and stops the program.
set -euo pipefail
program=$1
png=$2

"$program" >/dev/null &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

for _ in $(seq 100); do
    xwininfo -name Kelvara >/dev/null 2>&1 && break
    kill -0 "$pid" 2>/dev/null || { echo "Kelvara ended before its window appeared" >&2; exit 1; }
    sleep 0.1
done
# Let the first frame reach the window.
sleep 1
import -window Kelvara "$png"
