#pragma once
// Binds a function of a Windows system library at its first use. The libraries that only some
// commands need (the open-file dialog, the password hash, the COM apartment) are so loaded when
// one of those commands first runs, not at every start of the program. The library is always
// taken from the system folder, never from a folder a search could reach first.

#include <windows.h>

#include <string>

#include "Failure.h"

// The function `name` of the system library `library` (for example "comdlg32.dll"). The library
// stays loaded for the program's life. Throws Failure with the system's description when the
// library or the function cannot be had.
template <typename Function>
Function SystemFunction(const char* library, const char* name) {
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    CheckWin32(length != 0 && length < MAX_PATH);
    HMODULE module = LoadLibraryA((std::string(folder, length) + "\\" + library).c_str());
    CheckWin32(module);
    FARPROC address = GetProcAddress(module, name);
    CheckWin32(address);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}
