#include "app/windows_support.h"

#ifdef _WIN32

#include <windows.h>

#include <cstdio>

// Read by the NVIDIA and AMD drivers on dual-GPU machines to run the
// program on the high-performance GPU.
extern "C" {
__declspec(dllexport) DWORD NvOptimusEnablement = 1;
__declspec(dllexport) int AmdPowerXpressRequestHighPerformance = 1;
}

void attachParentConsole()
{
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
}

#else

void attachParentConsole()
{
}

#endif
