# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# What the Windows packages carry besides Kelvara's own files, each
# package described once: the SPDX document, the licences' README.txt and
# the tests all read it from here. Each is named by its Debian source
# package, whose version the build finds: Qt's, Mesa's and LLVM's from
# KELVARA_WINDOWS_QT_SOURCES, the MinGW-w64 runtime's from the package of
# the TOOLCHAIN_FILE that the cross-compiler ships. For each it sets
# KELVARA_<name>_LICENSE (an SPDX expression), _ORIGINATOR, _FILES (a
# regular expression for the files built from it), _LINKS ("TYPE:FILE":
# FILE links it so), _LICENSE_FILES (its licence texts in the packages),
# _NOTICE (its paragraph in README.txt) and _TOOLCHAIN_FILE, and lists the
# names in KELVARA_WINDOWS_COMPONENTS.
function(kelvara_windows_component name)
    cmake_parse_arguments(PARSE_ARGV 1 component "" "LICENSE;ORIGINATOR;FILES;NOTICE;TOOLCHAIN_FILE"
        "LINKS;LICENSE_FILES")
    set(KELVARA_WINDOWS_COMPONENTS ${KELVARA_WINDOWS_COMPONENTS} ${name} PARENT_SCOPE)
    foreach(field LICENSE ORIGINATOR FILES NOTICE TOOLCHAIN_FILE LINKS LICENSE_FILES)
        set(KELVARA_${name}_${field} "${component_${field}}" PARENT_SCOPE)
    endforeach()
endfunction()

set(KELVARA_WINDOWS_COMPONENTS "")
kelvara_windows_component(qt6-base
    LICENSE "LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only"
    ORIGINATOR "The Qt Company"
    FILES "bin/Qt6[A-Za-z]+\\.dll|plugins/.*"
    LINKS DYNAMIC_LINK:bin/kelvara.exe
    LICENSE_FILES licenses/qt6-base/LGPL-3.0-only.txt
    NOTICE "Qt (Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll, Qt6OpenGL.dll,
Qt6OpenGLWidgets.dll and the plugins), under the GNU Lesser General Public
License version 3 (qt6-base\\LGPL-3.0-only.txt; the other texts there cover
the code that Qt bundles).")
kelvara_windows_component(mesa
    LICENSE MIT
    ORIGINATOR "The Mesa 3D project"
    FILES "bin/opengl32sw\\.dll|bin/libgallium_wgl\\.dll"
    LINKS STATIC_LINK:bin/libgallium_wgl.dll
    LICENSE_FILES licenses/mesa/license.rst
    NOTICE "Mesa (opengl32sw.dll and libgallium_wgl.dll), the software OpenGL that
Qt uses where the graphics driver has no OpenGL 2, under the MIT licence
(mesa\\license.rst).")
kelvara_windows_component(llvm-toolchain-19
    LICENSE "Apache-2.0 WITH LLVM-exception"
    ORIGINATOR "The LLVM project"
    LINKS STATIC_LINK:bin/libgallium_wgl.dll
    LICENSE_FILES licenses/llvm/LICENSE.TXT
    NOTICE "LLVM, which libgallium_wgl.dll holds to compile shaders to machine code,
under the Apache License 2.0 with LLVM Exceptions (llvm\\LICENSE.TXT),
built from the upstream source that the Debian source package holds.")
kelvara_windows_component(gcc-mingw-w64
    LICENSE "GPL-3.0-or-later WITH GCC-exception-3.1"
    ORIGINATOR "Free Software Foundation"
    FILES "bin/libgcc_s_seh-1\\.dll|bin/libstdc\\+\\+-6\\.dll"
    LINKS DYNAMIC_LINK:bin/kelvara.exe
    TOOLCHAIN_FILE libstdc++-6.dll
    LICENSE_FILES licenses/mingw-w64-runtime/gcc-copyright
    NOTICE "GCC's runtime (libgcc_s_seh-1.dll, libstdc++-6.dll), under the GCC
Runtime Library Exception (mingw-w64-runtime\\gcc-copyright).")
kelvara_windows_component(mingw-w64
    LICENSE "MIT AND BSD-3-Clause"
    ORIGINATOR "The MinGW-w64 project"
    FILES "bin/libwinpthread-1\\.dll"
    LINKS DYNAMIC_LINK:bin/libstdc++-6.dll DYNAMIC_LINK:bin/libgallium_wgl.dll
    TOOLCHAIN_FILE libwinpthread-1.dll
    LICENSE_FILES licenses/mingw-w64-runtime/mingw-w64-copyright
    NOTICE "MinGW-w64's threads (libwinpthread-1.dll), under the licences of
mingw-w64 (mingw-w64-runtime\\mingw-w64-copyright).")
