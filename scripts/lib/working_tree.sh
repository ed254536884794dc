#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: working_tree.sh
# Writes to standard output a tar of the project's working tree as it is:
# the files git tracks, less those deleted, and those it would track.
set -euo pipefail
cd "$(dirname "$0")/../.."
git ls-files -z --cached --others --exclude-standard \
    | xargs -0 -r sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh \
    | tar -c --null -T -
