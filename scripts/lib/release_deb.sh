#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: release_deb.sh BUILD_DIR
# Builds the Debian package for the Debian release this runs on, with the
# release preset and the compiler and linker flags that Debian builds its
# own packages with, into BUILD_DIR, with a .buildinfo record beside it;
# the release command runs it here or in a chroot of each release.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/packages.sh

build=${1:?usage: $0 BUILD_DIR}
install_missing "${build_packages[@]}" dpkg-dev
# Every hardening feature, as Debian's own packages have (a stack
# protector, immediate binding, control flow protection where the
# compiler gives it), and the source folder mapped out of the debug
# information, which the build folder must not reach. CMake reads no
# CPPFLAGS, so the preprocessor's flags go with the compiler's.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=+all"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS
cmake --preset release -B "$build" >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)
package=$(echo "$build"/kelvara_*.deb)
scripts/lib/buildinfo.sh "${package%.deb}.buildinfo" "$package"
