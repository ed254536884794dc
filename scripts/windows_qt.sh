#!/usr/bin/env bash
# Builds the Qt for Windows that Kelvara needs from Debian's own qt6-base
# source package with MinGW-w64: Qt 6.4.2 for x86-64 as shared libraries
# (Core, Gui, Widgets, OpenGL, OpenGLWidgets, Test and the Windows platform
# plugin), with the MinGW runtime and windeployqt.exe and qtpaths.exe built
# for Windows. It installs into KELVARA_WINDOWS_QT (by default
# /var/cache/kelvara/windows-qt/qt-6.4.2-mingw-w64, under ~/.cache when not
# root) and does nothing when a complete build is already there. About 40
# minutes on 2 cores; the host's Qt 6.4.2 provides moc, rcc and uic.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source scripts/windows_env.sh

if [ -z "$(windows_qt_missing)" ]; then
    echo "Qt $windows_qt_version for Windows is ready in $KELVARA_WINDOWS_QT"
    exit 0
fi

install_missing cmake ninja-build perl dpkg-dev xz-utils g++-mingw-w64-x86-64-posix \
    qt6-base-dev qt6-base-dev-tools
host_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
if [[ $host_version != "$windows_qt_version"+* ]]; then
    echo "The host's Qt is $host_version; building Qt $windows_qt_version for Windows needs" \
         "the same version's tools (Debian 12's qt6-base-dev)" >&2
    exit 1
fi

toolchain=$PWD/packaging/windows/mingw-w64-x86_64.cmake
work=$KELVARA_WINDOWS_QT.work
staging=$KELVARA_WINDOWS_QT.staging
rm -rf "$work" "$staging"
mkdir -p "$work/apt/lists/partial" "$work/apt/sources.list.d"

echo "== Fetching Debian's qt6-base $host_version source and Wine's wintab headers"
# A private apt configuration with the machine's mirrors for packages and
# sources, so that the machine's own apt setup stays as it is.
for sources in /etc/apt/sources.list.d/*.sources; do
    [ -f "$sources" ] || continue
    sed -E 's/^Types:.*/Types: deb deb-src/' "$sources" >"$work/apt/sources.list.d/${sources##*/}"
done
touch "$work/apt/sources.list"
for sources in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$sources" ] || continue
    sed -nE 's/^deb(-src)?( .*)/deb\2\ndeb-src\2/p' "$sources" >>"$work/apt/sources.list"
done
apt=(apt-get -q -o Dir::Etc::SourceList="$work/apt/sources.list"
     -o Dir::Etc::SourceParts="$work/apt/sources.list.d"
     -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache")
"${apt[@]}" update >/dev/null
(cd "$work" && "${apt[@]}" source "qt6-base=$host_version" >/dev/null \
    && "${apt[@]}" download libwine-dev >/dev/null)
src=$(echo "$work"/qt6-base-*/)
dpkg-deb -x "$work"/libwine-dev_*.deb "$work/wine"
wine_headers=$(dirname "$(find "$work/wine" -name wintab.h)")

# Debian's source leaves out the Wacom tablet headers that the Windows
# platform plugin includes. Wine's headers of the same names stand in, given
# the two Wine macros they use and the calling convention Qt's code expects.
mkdir -p "$src/src/3rdparty/wintab"
{
    cat <<'PRELUDE'
#ifdef UNICODE
#  define WINELIB_NAME_AW(name) name##W
#else
#  define WINELIB_NAME_AW(name) name##A
#endif
#define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;
#define API WINAPI
PRELUDE
    cat "$wine_headers/wintab.h"
} >"$src/src/3rdparty/wintab/wintab.h"
cp "$wine_headers/pktdef.h" "$src/src/3rdparty/wintab/"

# Gui builds the DirectWrite font database only with Direct2D, which is off
# here, yet the platform plugin refers to it whenever DirectWrite 3 is on.
# The plugin then keeps Windows' standard GDI font engine.
integration=$src/src/plugins/platforms/windows/qwindowsintegration.cpp
sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' "$integration"
if [ "$(grep -c '^#if QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)$' "$integration")" -ne 2 ]; then
    echo "$integration no longer has the two DirectWrite guards this script expects" >&2
    exit 1
fi

configure=(-G Ninja -Wno-dev
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DINPUT_opengl=desktop
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF)
for feature in sql network dbus printsupport vulkan concurrent xml direct2d zstd icu pkg_config \
               system_zlib system_pcre2 system_harfbuzz system_png system_jpeg system_freetype \
               system_doubleconversion system_libb2 system_textmarkdownreader; do
    configure+=(-DFEATURE_$feature=OFF)
done

echo "== Building Qt $windows_qt_version for Windows (log: $work/build.log)"
start=$SECONDS
{
    cmake -S "$src" -B "$work/qt" "${configure[@]}" -DCMAKE_INSTALL_PREFIX="$staging"
    cmake --build "$work/qt"
    cmake --install "$work/qt" --strip
} >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log" >&2; exit 1; }
echo "Built the libraries in $((SECONDS - start)) s"

# windeployqt and qtpaths for Windows come from a second configuration that
# builds Qt's tools for the target; Debian's Linux Qt has no windeployqt.
echo "== Building windeployqt.exe and qtpaths.exe (log: $work/tools.log)"
start=$SECONDS
{
    cmake -S "$src" -B "$work/tools" "${configure[@]}" \
        -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=ON -DFEATURE_windeployqt=ON
    cmake --build "$work/tools" --target windeployqt_native qtpaths_native
} >"$work/tools.log" 2>&1 || { tail -n 30 "$work/tools.log" >&2; exit 1; }
for tool in windeployqt qtpaths; do
    x86_64-w64-mingw32-strip -o "$staging/bin/$tool.exe" "$(find "$work/tools" -name "$tool.exe")"
done
echo "Built the tools in $((SECONDS - start)) s"

# The MinGW runtime that Qt and the programs built against it load.
for runtime in libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll; do
    cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$runtime)" "$staging/bin/"
done

rm -rf "$KELVARA_WINDOWS_QT"
mv "$staging" "$KELVARA_WINDOWS_QT"
rm -rf "$work"
require_windows_qt
echo "Qt $windows_qt_version for Windows is ready in $KELVARA_WINDOWS_QT"
