#pragma once
// Start with Windows: the program's value under the machine-wide Run key. No registry failure is
// reported: without the rights to write under HKEY_LOCAL_MACHINE the key does not open, and the
// write or delete does nothing.

#include <windows.h>

#include <string>

#include "ProgramPaths.h"

// Writes the Run entry named after the program's executable, pointing at it.
void AddStartupEntry();
// Deletes that Run entry.
void RemoveStartupEntry();
// The value name of the entry: the file name of the running program's own module. It is the
// module's name rather than the first ".exe" a listing of the folder returns, so an uninstaller
// or a second program beside it can never become the program started at logon.
std::string StartupEntryName();

// The entry's data: the folder, one backslash between folder and name, the whole path in double
// quotes when it holds a space (an unquoted path with a space lets Windows start a program at a
// shorter path, such as "C:\Program.exe").
std::string RunEntryData(const std::string& folder, const std::string& name);
