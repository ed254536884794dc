#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: build_windows.sh [BUILD_DIR [CMAKE_OPTION...]]
# Cross-builds kelvara.exe for 64-bit Windows with MinGW-w64 against the Qt
# for Windows in KELVARA_WINDOWS_QT (scripts/windows_qt.sh builds one),
# installs it into BUILD_DIR/install through Qt's deployment script, whose
# windeployqt.exe runs under Wine, and makes the ZIP and the 64-bit NSIS
# installer in BUILD_DIR (by default build-windows), with stripped binaries,
# Mesa's software OpenGL and the licences of what they ship. Qt's host tools
# must be of the same version as Qt for Windows: unless this machine's are,
# it builds in the Debian 13 chroot (scripts/lib/chroot.sh), with the project at
# the same path, so that the build folder serves here too.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/windows_env.sh

build=${1:-build-windows}
[ $# -eq 0 ] || shift
require_windows_qt
if ! has_windows_qt_host_tools; then
    exec scripts/lib/chroot.sh "$windows_qt_suite" scripts/build_windows.sh "$build" "$@"
fi
install_missing "${build_packages[@]}" "${windows_build_packages[@]}"
qt=$KELVARA_WINDOWS_QT
mkdir -p "$build"
build=$(cd "$build" && pwd)
make_wine_prefix "$build/wine-prefix"

# Qt's deployment script runs the windeployqt it is given. This one runs
# Qt's Windows windeployqt.exe under Wine, tells it where Qt is through
# Qt's own qtpaths.exe in place of the one the script names, and keeps it
# from copying Wine's Direct3D compiler.
cat >"$build/windeployqt" <<WRAPPER
#!/bin/sh
export WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all
skip=false
for argument do
    shift
    if \$skip; then skip=false; continue; fi
    if [ "\$argument" = --qtpaths ]; then skip=true; continue; fi
    set -- "\$@" "\$argument"
done
exec wine '$qt/bin/windeployqt.exe' --qtpaths '$(winepath -w "$qt/bin/qtpaths.exe")' \\
    --no-system-d3d-compiler "\$@"
WRAPPER
chmod +x "$build/windeployqt"

cmake --preset windows -B "$build" -DWINDEPLOYQT_EXECUTABLE="$build/windeployqt" \
    -DKELVARA_WINDOWS_QT_SOURCES="$windows_qt_sources" \
    "$@"
cmake --build "$build"
rm -rf "$build/install"
cmake --install "$build" --prefix "$build/install" --strip
# Both packages or neither: a failed installer takes the ZIP with it.
remove_packages() { rm -f "$build"/kelvara-*-win64.zip "$build"/kelvara-*-win64.exe; }
remove_packages
if ! (cd "$build" && cpack); then
    remove_packages
    echo "Making the ZIP and the installer failed (see above); no package is left in $build" >&2
    exit 1
fi
