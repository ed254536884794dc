# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Sourced by the Windows scripts: where the Qt for Windows that Kelvara is
# built against lives, and whether a complete build is there.

windows_qt_version=6.8.2
# The Debian 13 source packages it is built from, and the Debian suite whose
# Qt gives the host tools of the same version.
windows_qt_source=6.8.2+dfsg-9+deb13u2
windows_mesa_source=25.0.7-2+deb13u1
windows_qt_suite=trixie
if [ "$(id -u)" -eq 0 ]; then
    windows_cache=/var/cache/kelvara
else
    windows_cache=${XDG_CACHE_HOME:-$HOME/.cache}/kelvara
fi
export KELVARA_WINDOWS_QT=${KELVARA_WINDOWS_QT:-$windows_cache/windows-qt/qt-$windows_qt_version-minsize-mingw-w64}

# What the build, the deployment and the tests take from it.
windows_qt_files=(
    lib/cmake/Qt6/qt.toolchain.cmake
    lib/cmake/Qt6Core/Qt6CoreConfigVersionImpl.cmake
    bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6OpenGL.dll
    bin/Qt6OpenGLWidgets.dll bin/Qt6Test.dll
    bin/libgcc_s_seh-1.dll bin/libstdc++-6.dll bin/libwinpthread-1.dll
    bin/windeployqt.exe bin/qtpaths.exe bin/opengl32sw.dll bin/libgallium_wgl.dll
    plugins/platforms/qwindows.dll plugins/styles/qmodernwindowsstyle.dll
    licenses/qt6-base/LGPL-3.0-only.txt licenses/mesa/license.rst licenses/llvm/LICENSE.TXT
    licenses/mingw-w64-runtime/mingw-w64-copyright
)

# Prints the first file that a complete build has and KELVARA_WINDOWS_QT
# lacks, or a wrong version; prints nothing when the build is complete.
windows_qt_missing() {
    local file
    for file in "${windows_qt_files[@]}"; do
        if [ ! -f "$KELVARA_WINDOWS_QT/$file" ]; then
            echo "$file"
            return
        fi
    done
    grep -q "PACKAGE_VERSION \"$windows_qt_version\"" \
        "$KELVARA_WINDOWS_QT/lib/cmake/Qt6Core/Qt6CoreConfigVersionImpl.cmake" \
        || echo "Qt $windows_qt_version (lib/cmake/Qt6Core names another version)"
}

# Stops the calling script with the way to a complete build when there is none.
require_windows_qt() {
    local missing
    missing=$(windows_qt_missing)
    [ -z "$missing" ] && return 0
    cat >&2 <<MESSAGE
No complete Qt $windows_qt_version for Windows in $KELVARA_WINDOWS_QT: missing $missing.
Build it with scripts/windows_qt.sh (about 75 minutes on 2 cores, and 40 more
when it builds LLVM for Windows too), or set
KELVARA_WINDOWS_QT to the folder of a complete build.
MESSAGE
    exit 1
}

# LLVM for Windows, which Mesa's llvmpipe links statically: its static
# libraries, built from the upstream sources of Debian 13's
# llvm-toolchain-19 by scripts/lib/windows_llvm.sh.
windows_llvm_version=19.1.7
windows_llvm_source=1:19.1.7-3
# The Debian source packages that Qt for Windows, with its software OpenGL,
# is built from, as the packages and the release's record name them.
windows_qt_sources="qt6-base $windows_qt_source, mesa $windows_mesa_source, llvm-toolchain-19 $windows_llvm_source"
export KELVARA_WINDOWS_LLVM=${KELVARA_WINDOWS_LLVM:-$windows_cache/windows-llvm/llvm-19-minsize-mingw-w64}
# What llvmpipe links, in link order: what trixie's "llvm-config-19
# --link-static --libnames bitwriter engine mcdisassembler mcjit core
# executionengine scalaropts transformutils instcombine coroutines lto native"
# names, less Polly.
windows_llvm_libraries=(
    LLVMX86TargetMCA LLVMMCA LLVMX86Disassembler LLVMX86AsmParser LLVMX86CodeGen
    LLVMX86Desc LLVMX86Info LLVMGlobalISel LLVMSelectionDAG LLVMAsmPrinter LLVMLTO
    LLVMExtensions LLVMPasses LLVMIRPrinter LLVMHipStdPar LLVMCFGuard LLVMCoroutines
    LLVMipo LLVMInstrumentation LLVMVectorize LLVMLinker LLVMFrontendOpenMP
    LLVMFrontendOffloading LLVMMCJIT LLVMMCDisassembler LLVMInterpreter
    LLVMExecutionEngine LLVMRuntimeDyld LLVMOrcTargetProcess LLVMOrcShared LLVMCodeGen
    LLVMTarget LLVMScalarOpts LLVMInstCombine LLVMAggressiveInstCombine LLVMObjCARCOpts
    LLVMTransformUtils LLVMCodeGenTypes LLVMBitWriter LLVMAnalysis LLVMProfileData
    LLVMSymbolize LLVMDebugInfoBTF LLVMDebugInfoPDB LLVMDebugInfoMSF LLVMDebugInfoDWARF
    LLVMObject LLVMTextAPI LLVMMCParser LLVMIRReader LLVMAsmParser LLVMMC
    LLVMDebugInfoCodeView LLVMBitReader LLVMCore LLVMRemarks LLVMBitstreamReader
    LLVMBinaryFormat LLVMTargetParser LLVMSupport LLVMDemangle
)

# Prints the first file that a complete LLVM build has and
# KELVARA_WINDOWS_LLVM lacks; prints nothing when the build is complete.
windows_llvm_missing() {
    local files=(LICENSE.TXT include/llvm/IR/IRBuilder.h include/llvm/Config/llvm-config.h) name file
    for name in "${windows_llvm_libraries[@]}"; do
        files+=("lib/lib$name.a")
    done
    for file in "${files[@]}"; do
        if [ ! -f "$KELVARA_WINDOWS_LLVM/$file" ]; then
            echo "$file"
            return
        fi
    done
}

# Sets apt to an apt-get command that reads the machine's Debian mirrors for
# packages and sources from a private configuration in the folder $1, so that
# the machine's own apt setup stays as it is.
private_apt_with_sources() {
    local work=$1 sources
    mkdir -p "$work/apt/lists/partial" "$work/apt/sources.list.d"
    for sources in /etc/apt/sources.list.d/*.sources; do
        [ -f "$sources" ] || continue
        sed -E 's/^Types:.*/Types: deb deb-src/' "$sources" >"$work/apt/sources.list.d/${sources##*/}"
    done
    : >"$work/apt/sources.list"
    for sources in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$sources" ] || continue
        sed -nE 's/^deb(-src)?( .*)/deb\2\ndeb-src\2/p' "$sources" >>"$work/apt/sources.list"
    done
    apt=(apt-get -q -o Dir::Etc::SourceList="$work/apt/sources.list"
         -o Dir::Etc::SourceParts="$work/apt/sources.list.d"
         -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache")
    "${apt[@]}" update >/dev/null
}

# Whether this machine's Qt gives the host tools that a build against Qt for
# Windows needs: those of the same version. Elsewhere the Windows scripts run
# in a Debian chroot whose Qt does (scripts/lib/chroot.sh).
has_windows_qt_host_tools() {
    [ "$(qtpaths6 --qt-query QT_VERSION 2>/dev/null)" = "$windows_qt_version" ]
}

# Makes a fresh Wine prefix in the given folder and exports WINEPREFIX, or
# stops the calling script when Wine cannot run a program there.
make_wine_prefix() {
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    rm -rf "$WINEPREFIX"
    local log
    log=$(wineboot --init 2>&1) || true
    if [ "$(wine cmd /c echo started 2>/dev/null | tr -d '\r')" != started ]; then
        echo "Wine cannot run a program in the prefix $WINEPREFIX:" >&2
        echo "$log" >&2
        exit 1
    fi
    # A wineserver started without a display fails to load the display
    # driver for every later program, so none is left running.
    wineserver -k 2>/dev/null || true
    wineserver -w
}
