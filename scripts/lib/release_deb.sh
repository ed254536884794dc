#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: release_deb.sh BUILD_DIR
# Builds the Debian package for the Debian release this runs on, with the
# release preset, into BUILD_DIR; the release command runs it here or in a
# chroot of each release.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/packages.sh

build=${1:?usage: $0 BUILD_DIR}
install_missing "${build_packages[@]}" dpkg-dev
cmake --preset release -B "$build" >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)
