# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Sourced by the release and its test: the Debian releases that a release
# makes a package for, as VERSION:CODENAME. Each package is built in its
# release (scripts/lib/chroot.sh) and named after it, 1.0.0+deb12 on
# Debian 12.
debian_releases=(12:bookworm 13:trixie)
