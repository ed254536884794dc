// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

// Usage: windows_probe.exe exports PROGRAM
//        windows_probe.exe version PROGRAM
//        windows_probe.exe manifest PROGRAM
//        windows_probe.exe shortcut LINK
// exports: maps PROGRAM's image without running it and prints its two
// GPU-preference exports as a driver reads them through GetProcAddress, as
// 32-bit values: "NAME = VALUE", one a line.
// version: prints the version resource's numbers and texts as Explorer
// reads them: "NAME = VALUE", one a line.
// manifest: prints the application manifest that Windows reads at start.
// shortcut: prints the shortcut's target, then the folder it starts in.
// Returns 1 when the file cannot be read so.

namespace {

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

int printExports(const wchar_t *program)
{
    const HMODULE image = LoadLibraryExW(program, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!image)
        return 1;
    for (const char *name : { "NvOptimusEnablement", "AmdPowerXpressRequestHighPerformance" }) {
        const auto address = reinterpret_cast<const void *>(GetProcAddress(image, name));
        if (!address)
            return 1;
        std::uint32_t value = 0;
        std::memcpy(&value, address, sizeof value);
        std::printf("%s = %u\n", name, static_cast<unsigned>(value));
    }
    return 0;
}

int printVersion(const wchar_t *program)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program, &ignored);
    std::string data(size, '\0');
    if (size == 0 || !GetFileVersionInfoW(program, 0, size, data.data()))
        return 1;
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&fixed), &length))
        return 1;
    std::printf("FILEVERSION = %u.%u.%u.%u\n", unsigned(HIWORD(fixed->dwFileVersionMS)),
                unsigned(LOWORD(fixed->dwFileVersionMS)), unsigned(HIWORD(fixed->dwFileVersionLS)),
                unsigned(LOWORD(fixed->dwFileVersionLS)));
    for (const wchar_t *name : { L"CompanyName", L"FileDescription", L"FileVersion", L"LegalCopyright",
                                 L"ProductName", L"ProductVersion" }) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        wchar_t *value = nullptr;
        if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void **>(&value), &length))
            return 1;
        std::printf("%s = %s\n", utf8(name).c_str(), utf8(value).c_str());
    }
    return 0;
}

int printManifest(const wchar_t *program)
{
    const HMODULE image = LoadLibraryExW(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!image)
        return 1;
    const HRSRC resource = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    const HGLOBAL loaded = resource ? LoadResource(image, resource) : nullptr;
    if (!loaded)
        return 1;
    std::fwrite(LockResource(loaded), 1, SizeofResource(image, resource), stdout);
    return 0;
}

int printShortcut(const wchar_t *link)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    int result = 1;
    IShellLinkW *shortcut = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void **>(&shortcut)))) {
        IPersistFile *file = nullptr;
        wchar_t target[MAX_PATH] = {};
        wchar_t folder[MAX_PATH] = {};
        if (SUCCEEDED(shortcut->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file)))
            && SUCCEEDED(file->Load(link, STGM_READ))
            && SUCCEEDED(shortcut->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))
            && SUCCEEDED(shortcut->GetWorkingDirectory(folder, MAX_PATH))) {
            std::printf("%s\n%s\n", utf8(target).c_str(), utf8(folder).c_str());
            result = 0;
        }
        if (file)
            file->Release();
        shortcut->Release();
    }
    CoUninitialize();
    return result;
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3)
        return 2;
    if (std::wcscmp(argv[1], L"exports") == 0)
        return printExports(argv[2]);
    if (std::wcscmp(argv[1], L"version") == 0)
        return printVersion(argv[2]);
    if (std::wcscmp(argv[1], L"manifest") == 0)
        return printManifest(argv[2]);
    if (std::wcscmp(argv[1], L"shortcut") == 0)
        return printShortcut(argv[2]);
    return 2;
}
