#include "app/windows_support.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>

// A GUI-subsystem stand-in for the program's start-up without Qt: attaches
// to the parent's console and writes the line end as the program does, then
// says on each stream whether it found a console, and reads the GPU
// preference exports as a driver would, by name from the running image.
int main()
{
    attachParentConsole();
    std::cout << std::endl;

    const char *console = GetConsoleWindow() ? "attached to a console" : "no console";
    std::printf("standard output: %s\n", console);
    std::fprintf(stderr, "standard error: %s\n", console);

    const HMODULE self = GetModuleHandleW(nullptr);
    for (const char *name : { "NvOptimusEnablement", "AmdPowerXpressRequestHighPerformance" }) {
        const auto address = reinterpret_cast<const void *>(GetProcAddress(self, name));
        if (!address)
            return 1;
        std::uint32_t value = 0;
        std::memcpy(&value, address, sizeof value);
        std::printf("%s = %u\n", name, static_cast<unsigned>(value));
    }
    return 0;
}
