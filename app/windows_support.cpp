// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "windows_support.h"

#ifdef _WIN32

#include <windows.h>

#include <cstdio>

// Read by the NVIDIA and AMD drivers on dual-GPU machines to run the
// program on the high-performance GPU.
extern "C" {
__declspec(dllexport) DWORD NvOptimusEnablement = 1;
__declspec(dllexport) int AmdPowerXpressRequestHighPerformance = 1;
}

namespace {

// A stream that the parent redirected to a file or a pipe has a handle of
// its own; a GUI program started from a console without redirection has none.
bool hasOwnHandle(DWORD standardHandle)
{
    const HANDLE handle = GetStdHandle(standardHandle);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE
            && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool consoleIsWritable()
{
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(console);
    return true;
}

} // namespace

void attachParentConsole()
{
    const bool outputHasHandle = hasOwnHandle(STD_OUTPUT_HANDLE);
    const bool errorHasHandle = hasOwnHandle(STD_ERROR_HANDLE);
    if (!AttachConsole(ATTACH_PARENT_PROCESS) || !consoleIsWritable())
        return;

    // freopen closes the stream when it cannot open the console, so the
    // console is tried first and only streams with nowhere to go are moved.
    FILE *reopened = nullptr;
    if (!outputHasHandle)
        freopen_s(&reopened, "CONOUT$", "w", stdout);
    if (!errorHasHandle)
        freopen_s(&reopened, "CONOUT$", "w", stderr);
}

#else

void attachParentConsole()
{
}

#endif
