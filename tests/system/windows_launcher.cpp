// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include <windows.h>

#include <cstdio>

// Usage: windows_launcher.exe PROGRAM OUTPUT_FILE
// Starts PROGRAM as a console would with both standard streams redirected
// to OUTPUT_FILE, but without handing it this console, so that the program
// has to attach to it itself. Returns the program's exit code.
int main(int argc, char *argv[])
{
    if (argc != 3)
        return 2;
    SECURITY_ATTRIBUTES inheritable = { sizeof inheritable, nullptr, TRUE };
    const HANDLE output = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inheritable, CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        return 2;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, argv[1], nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start %s\n", argv[1]);
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 2;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(output);
    return static_cast<int>(exitCode);
}
