# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Sourced by the other scripts: installs the Debian packages they name
# that are not installed yet, with sudo when not run as root.

# A virtual package, such as libqt6opengl6-dev since Debian 13, counts as
# installed when an installed package provides it.
is_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' && return 0
    dpkg-query -W -f='${Status}|${Provides}\n' 2>/dev/null \
        | grep '^install ok installed|' | grep -qE "[|,] ?$1( \(|,|$)"
}

install_missing() {
    local missing=() package
    for package in "$@"; do
        is_installed "$package" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# What building and drawing the program needs: the Qt OpenGL widgets, Qt's
# platform headers (to ask whether the platform can show an OpenGL view), the
# xcb platform plugin, Mesa's software renderer and a font with Cyrillic.
build_packages=(cmake g++ make ninja-build qt6-base-dev qt6-base-private-dev libqt6opengl6-dev
                qt6-qpa-plugins libgl1-mesa-dri fonts-dejavu-core)

# What the test passes need besides: the virtual X display and a Wayland
# compositor, the tools the checks call (among them the licence, package and
# manual page checkers), and the benchmark's headers.
test_packages=(xvfb xauth x11-utils weston qt6-wayland apitrace glslang-tools
               g++-mingw-w64-x86-64-win32 wine wine64 desktop-file-utils appstream dpkg-dev file
               git reuse lintian man-db valgrind libxcb-shm0-dev libegl-dev libwayland-dev)

# What building the Windows program and its packages needs besides the build
# packages, which give the host's moc, rcc and uic: MinGW-w64 with POSIX
# threads, Wine to run windeployqt, NSIS for the installer, and
# osslsigncode to sign them where a certificate is given.
windows_build_packages=(g++-mingw-w64-x86-64-posix wine wine64 nsis osslsigncode)

# What testing it needs besides: the tools that drive and inspect the
# program's window, URW's fonts (with only DejaVu and Liberation, Wine gives
# the form's serif request DejaVu Sans), diffoscope, which names what
# differs between two releases, the JSON schema validator for the
# packages' SPDX documents, openssl for a throwaway signing certificate,
# and devscripts for hardening-check, which reads a program's protections.
windows_packages=("${windows_build_packages[@]}" xvfb xauth xdotool x11-utils unzip fonts-urw-base35
                  diffoscope-minimal python3-jsonschema openssl devscripts)
