// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "windows_support.h"

#include <windows.h>

#include <cstdio>
#include <iostream>

// A GUI-subsystem stand-in for the program's start-up without Qt: attaches
// to the parent's console and writes the line end as the program does, then
// says on each stream whether it found a console, which the program itself
// never says.
int main()
{
    attachParentConsole();
    std::cout << std::endl;

    const char *console = GetConsoleWindow() ? "attached to a console" : "no console";
    std::printf("standard output: %s\n", console);
    std::fprintf(stderr, "standard error: %s\n", console);
    return 0;
}
