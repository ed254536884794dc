#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds the LLVM for Windows that Mesa's llvmpipe links: LLVM 19's static
# libraries for x86-64, cross-compiled with MinGW-w64 from the upstream
# sources of Debian 13's llvm-toolchain-19, with the X86 target only, built
# for size (MinSizeRel at -Os, with a section for each function and datum),
# RTTI on and no tools; only the libraries that llvmpipe links, with LLVM's
# headers and its licence. It installs into KELVARA_WINDOWS_LLVM (by default
# /var/cache/kelvara/windows-llvm/llvm-19-minsize-mingw-w64, under ~/.cache
# when not root) and does nothing when a complete build is already there.
# LLVM's tables are made by trixie's own llvm-tblgen of the same version, so
# it runs in the Debian 13 chroot unless this machine is the one Qt for
# Windows builds on. About 40 minutes on 2 cores.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/packages.sh
source scripts/lib/windows_env.sh

if [ -z "$(windows_llvm_missing)" ]; then
    echo "LLVM $windows_llvm_version for Windows is ready in $KELVARA_WINDOWS_LLVM"
    exit 0
fi
if ! has_windows_qt_host_tools; then
    exec scripts/lib/chroot.sh "$windows_qt_suite" scripts/lib/windows_llvm.sh
fi

install_missing cmake ninja-build xz-utils g++-mingw-w64-x86-64-posix llvm-19 python3

work=$KELVARA_WINDOWS_LLVM.work
staging=$KELVARA_WINDOWS_LLVM.staging
rm -rf "$work" "$staging"
mkdir -p "$work"

# Only the upstream tarball is needed, and only LLVM itself from it.
echo "== Fetching the upstream sources of Debian's llvm-toolchain-19 $windows_llvm_source"
private_apt_with_sources "$work"
tarball=$("${apt[@]}" source --print-uris "llvm-toolchain-19=$windows_llvm_source" \
    | sed -nE "s/^'([^']*)' (\S*\.orig\.tar\.xz) [0-9]+ (SHA256:\S*)$/\1 \2 \3/p")
[ -n "$tarball" ] || { echo "Debian's mirror names no llvm-toolchain-19 $windows_llvm_source" >&2; exit 1; }
read -r uri name hash <<<"$tarball"
/usr/lib/apt/apt-helper -o APT::Sandbox::User=root download-file "$uri" "$work/$name" "$hash" >/dev/null
tar -xJf "$work/$name" -C "$work" --wildcards '*/llvm/*' '*/cmake/*' '*/third-party/*' \
    --exclude='*/llvm/test/*' --exclude='*/llvm/unittests/*' --exclude='*/llvm/docs/*'
rm "$work/$name"
llvm_src=$(echo "$work"/*/llvm)

echo "== Building LLVM $windows_llvm_version for Windows (log: $work/build.log)"
start=$SECONDS
# LLVM is four fifths of the software OpenGL DLL that every Windows download
# carries; built for size it is a third smaller, and compiles shaders a
# little more slowly.
size_flags="-Os -DNDEBUG -ffunction-sections -fdata-sections"
configure=(-G Ninja -Wno-dev
    -DCMAKE_TOOLCHAIN_FILE="$PWD/packaging/windows/mingw-w64-x86_64.cmake"
    -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_C_FLAGS_MINSIZEREL="$size_flags"
    -DCMAKE_CXX_FLAGS_MINSIZEREL="$size_flags" -DCMAKE_INSTALL_PREFIX="$staging"
    -DLLVM_HOST_TRIPLE=x86_64-w64-windows-gnu -DLLVM_TARGETS_TO_BUILD=X86
    -DLLVM_TABLEGEN=/usr/lib/llvm-19/bin/llvm-tblgen
    -DLLVM_ENABLE_RTTI=ON -DLLVM_ENABLE_ASSERTIONS=OFF)
for option in LLVM_BUILD_TOOLS LLVM_BUILD_UTILS LLVM_INCLUDE_TESTS LLVM_INCLUDE_EXAMPLES \
              LLVM_INCLUDE_BENCHMARKS LLVM_INCLUDE_DOCS LLVM_ENABLE_ZLIB LLVM_ENABLE_ZSTD \
              LLVM_ENABLE_LIBXML2 LLVM_ENABLE_LIBEDIT LLVM_ENABLE_LIBPFM LLVM_ENABLE_BINDINGS \
              LLVM_ENABLE_DIA_SDK; do
    configure+=(-D$option=OFF)
done
targets=()
for library in "${windows_llvm_libraries[@]}"; do
    targets+=("lib/lib$library.a")
done
{
    cmake -S "$llvm_src" -B "$work/build" "${configure[@]}"
    ninja -C "$work/build" "${targets[@]}"
    for component in "${windows_llvm_libraries[@]}" llvm-headers; do
        cmake --install "$work/build" --component "$component"
    done
} >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log" >&2; exit 1; }
x86_64-w64-mingw32-strip --strip-debug "$staging"/lib/*.a
cp "$llvm_src/LICENSE.TXT" "$staging/"
echo "Built LLVM in $((SECONDS - start)) s"

rm -rf "$KELVARA_WINDOWS_LLVM"
mv "$staging" "$KELVARA_WINDOWS_LLVM"
rm -rf "$work"
missing=$(windows_llvm_missing)
[ -z "$missing" ] || { echo "The LLVM build lacks $missing" >&2; exit 1; }
echo "LLVM $windows_llvm_version for Windows is ready in $KELVARA_WINDOWS_LLVM"
