#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds the Qt for Windows that Kelvara needs, with MinGW-w64, from Debian
# 13's own source packages:
#   Qt 6.8.2 for x86-64 as shared libraries (Core, Gui, Widgets, OpenGL,
#   OpenGLWidgets, Test and the Windows platform plugin) with dynamic
#   OpenGL, and windeployqt.exe and qtpaths.exe built for Windows;
#   Mesa's software OpenGL for Windows as bin/opengl32sw.dll, the DLL that
#   Qt loads where the driver has no OpenGL 2, with the driver
#   bin/libgallium_wgl.dll that it loads: llvmpipe, with LLVM for Windows
#   (scripts/lib/windows_llvm.sh) linked in, and softpipe beside it, both built
#   for size;
#   the MinGW runtime, and the licence texts of all four in licenses/.
# It installs into KELVARA_WINDOWS_QT (by default
# /var/cache/kelvara/windows-qt/qt-6.8.2-minsize-mingw-w64, under ~/.cache
# when not root) and does nothing when a complete build is already there. A
# cross build needs Qt's host tools of the same version, so it runs in the
# Debian 13 chroot unless this machine's Qt is 6.8.2. About 75 minutes on 2 cores,
# and 40 more for LLVM where KELVARA_WINDOWS_LLVM holds no build of it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/windows_env.sh

if [ -z "$(windows_qt_missing)" ]; then
    echo "Qt $windows_qt_version for Windows is ready in $KELVARA_WINDOWS_QT"
    exit 0
fi
if ! has_windows_qt_host_tools; then
    exec scripts/lib/chroot.sh "$windows_qt_suite" scripts/windows_qt.sh
fi

scripts/lib/windows_llvm.sh
install_missing cmake ninja-build perl dpkg-dev xz-utils g++-mingw-w64-x86-64-posix \
    qt6-base-dev qt6-base-dev-tools qt6-base-private-dev meson python3-mako python3-yaml bison flex \
    pkgconf

toolchain=$PWD/packaging/windows/mingw-w64-x86_64.cmake
work=$KELVARA_WINDOWS_QT.work
staging=$KELVARA_WINDOWS_QT.staging
rm -rf "$work" "$staging"
mkdir -p "$work"

echo "== Fetching Debian's qt6-base $windows_qt_source and mesa $windows_mesa_source sources"
private_apt_with_sources "$work"
(cd "$work" && "${apt[@]}" source "qt6-base=$windows_qt_source" "mesa=$windows_mesa_source" >/dev/null \
    && "${apt[@]}" download libwine-dev >/dev/null)
qt_src=$(echo "$work"/qt6-base-*/)
mesa_src=$(echo "$work"/mesa-*/)
dpkg-deb -x "$work"/libwine-dev_*.deb "$work/wine"
wine_headers=$(dirname "$(find "$work/wine" -name wintab.h)")

# Debian's source leaves out the Wacom tablet headers that the Windows
# platform plugin includes. Wine's headers of the same names stand in, given
# the two Wine macros they use and the calling convention Qt's code expects.
mkdir -p "$qt_src/src/3rdparty/wintab"
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
} >"$qt_src/src/3rdparty/wintab/wintab.h"
cp "$wine_headers/pktdef.h" "$qt_src/src/3rdparty/wintab/"

# A cross build insists on finding the host's windeployqt even when told to
# build the tools for the target, and Debian's Linux Qt has none.
tool_helpers=$qt_src/cmake/QtToolHelpers.cmake
perl -0pi -e 's/(        endif\(\)\n)        set\(require_find_tools TRUE\)\n(    else\(\))/$1        if(NOT QT_FORCE_BUILD_TOOLS)\n            set(require_find_tools TRUE)\n        endif()\n$2/' \
    "$tool_helpers"
if ! grep -q '^        if(NOT QT_FORCE_BUILD_TOOLS)$' "$tool_helpers"; then
    echo "$tool_helpers no longer has the check of host tools this script expects" >&2
    exit 1
fi

# Windows' font database needs DirectWrite, which needs Direct2D. The
# software bill of materials would want attributions for the stand-in
# tablet headers.
configure=(-G Ninja -Wno-dev
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DINPUT_opengl=dynamic -DFEATURE_directwrite=ON -DFEATURE_direct2d=ON -DQT_GENERATE_SBOM=OFF
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF)
for feature in sql network dbus printsupport vulkan concurrent xml zstd icu pkg_config \
               system_zlib system_pcre2 system_harfbuzz system_png system_jpeg system_freetype \
               system_doubleconversion system_libb2 system_textmarkdownreader; do
    configure+=(-DFEATURE_$feature=OFF)
done

echo "== Building Qt $windows_qt_version for Windows (log: $work/build.log)"
start=$SECONDS
{
    cmake -S "$qt_src" -B "$work/qt" "${configure[@]}" -DCMAKE_INSTALL_PREFIX="$staging"
    cmake --build "$work/qt"
    cmake --install "$work/qt" --strip
} >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log" >&2; exit 1; }
echo "Built the libraries in $((SECONDS - start)) s"

echo "== Building windeployqt.exe and qtpaths.exe (log: $work/tools.log)"
start=$SECONDS
{
    cmake -S "$qt_src" -B "$work/tools" "${configure[@]}" -DQT_FORCE_BUILD_TOOLS=ON -DFEATURE_windeployqt=ON
    cmake --build "$work/tools" --target windeployqt_native qtpaths_native
} >"$work/tools.log" 2>&1 || { tail -n 30 "$work/tools.log" >&2; exit 1; }
for tool in windeployqt qtpaths; do
    x86_64-w64-mingw32-strip -o "$staging/bin/$tool.exe" "$(find "$work/tools" -name "$tool.exe")"
done
echo "Built the tools in $((SECONDS - start)) s"

# Mesa's OpenGL for Windows with llvmpipe, which compiles the shaders with
# LLVM and multisamples, and softpipe, its plain rasteriser, which
# GALLIUM_DRIVER=softpipe picks. Mesa takes a cross-built LLVM as a binary
# wrap: a subproject that declares it.
echo "== Building Mesa's software OpenGL for Windows (log: $work/mesa.log)"
start=$SECONDS
wrap=$mesa_src/subprojects/llvm
mkdir -p "$wrap"
cp -r "$KELVARA_WINDOWS_LLVM/include" "$KELVARA_WINDOWS_LLVM/lib" "$wrap/"
{
    echo "project('llvm', ['cpp'])"
    echo "cpp = meson.get_compiler('cpp')"
    echo "libraries = []"
    echo "foreach name : '${windows_llvm_libraries[*]}'.split()"
    echo "  libraries += cpp.find_library(name, dirs : meson.current_source_dir() / 'lib', static : true)"
    echo "endforeach"
    echo "foreach name : ['psapi', 'shell32', 'ole32', 'uuid', 'advapi32', 'ws2_32', 'ntdll']"
    echo "  libraries += cpp.find_library(name)"
    echo "endforeach"
    echo "dep_llvm = declare_dependency(include_directories : include_directories('include'),"
    echo "  dependencies : libraries, version : '$windows_llvm_version')"
    echo "has_rtti = true"
    echo "irbuilder_h = files('include/llvm/IR/IRBuilder.h')"
} >"$wrap/meson.build"
cat >"$work/mesa-cross.ini" <<'CROSS'
[binaries]
c = 'x86_64-w64-mingw32-gcc-posix'
cpp = 'x86_64-w64-mingw32-g++-posix'
ar = 'x86_64-w64-mingw32-ar'
strip = 'x86_64-w64-mingw32-strip'
windres = 'x86_64-w64-mingw32-windres'
pkg-config = 'false'
cmake = 'false'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
CROSS
# Built for size, as LLVM is: the driver is most of the Windows download,
# and only machines without an OpenGL 2 driver ever load it.
mesa_options=(--cross-file "$work/mesa-cross.ini" --buildtype release -Doptimization=s -Db_ndebug=true
    "-Dc_args=-ffunction-sections -fdata-sections" "-Dcpp_args=-ffunction-sections -fdata-sections"
    -Dplatforms=windows -Dgallium-drivers=llvmpipe,softpipe -Dllvm=enabled -Dshared-llvm=disabled
    --force-fallback-for=llvm -Dvulkan-drivers=
    -Dgles1=disabled -Dgles2=disabled -Degl=disabled -Dglx=disabled -Dgbm=disabled
    -Dzlib=disabled -Dzstd=disabled -Dexpat=disabled -Dshader-cache=disabled
    -Dvalgrind=disabled -Dlibunwind=disabled -Dlmsensors=disabled -Dbuild-tests=false
    -Dvideo-codecs= -Dmicrosoft-clc=disabled -Dspirv-to-dxil=false
    -Dgallium-d3d12-video=disabled -Dosmesa=false -Dgallium-va=disabled
    -Dgallium-vdpau=disabled -Dgallium-xa=disabled -Dgallium-nine=false)
{
    meson setup "$work/mesa" "$mesa_src" "${mesa_options[@]}"
    ninja -C "$work/mesa"
} >"$work/mesa.log" 2>&1 || { tail -n 30 "$work/mesa.log" >&2; exit 1; }
# Qt loads the OpenGL entry points under this name; they load the driver.
x86_64-w64-mingw32-strip -o "$staging/bin/opengl32sw.dll" "$work/mesa/src/gallium/targets/libgl-gdi/opengl32.dll"
x86_64-w64-mingw32-strip -o "$staging/bin/libgallium_wgl.dll" "$work/mesa/src/gallium/targets/wgl/libgallium_wgl.dll"
echo "Built Mesa in $((SECONDS - start)) s"

# The MinGW runtime that Qt, Mesa and the programs built against them load.
for runtime in libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll; do
    cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$runtime)" "$staging/bin/"
done

# What a package that ships these DLLs must carry.
mkdir -p "$staging/licenses/qt6-base" "$staging/licenses/mesa" "$staging/licenses/llvm" \
    "$staging/licenses/mingw-w64-runtime"
cp "$qt_src"/LICENSES/*.txt "$staging/licenses/qt6-base/"
cp "$qt_src/debian/copyright" "$staging/licenses/qt6-base/debian-copyright"
cp "$mesa_src/docs/license.rst" "$staging/licenses/mesa/"
cp "$mesa_src/debian/copyright" "$staging/licenses/mesa/debian-copyright"
cp "$KELVARA_WINDOWS_LLVM/LICENSE.TXT" "$staging/licenses/llvm/"
cp -L /usr/share/doc/gcc-mingw-w64-base/copyright "$staging/licenses/mingw-w64-runtime/gcc-copyright"
cp -L /usr/share/doc/mingw-w64-common/copyright "$staging/licenses/mingw-w64-runtime/mingw-w64-copyright"

rm -rf "$KELVARA_WINDOWS_QT"
mv "$staging" "$KELVARA_WINDOWS_QT"
rm -rf "$work"
require_windows_qt
echo "Qt $windows_qt_version for Windows is ready in $KELVARA_WINDOWS_QT"
