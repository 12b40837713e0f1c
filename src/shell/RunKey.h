#pragma once
// Start with Windows: the program's value under the machine-wide Run key, named and written as
// the core's machine start-up writes it (MachineStartup.h).

#include <string>

#include "ProgramPaths.h"  // kRunKeyPath, the key the entry is under

// The value name of the entry: the file name of the running program's own module. It is the
// module's name rather than the first ".exe" a listing of the folder returns, so an uninstaller
// or a second program beside it can never become the program started at logon.
std::string StartupEntryName();

// The entry's data for a program in a folder: the folder, one backslash between folder and name,
// the whole path in double quotes when it holds a space.
std::string RunEntryData(const std::string& folder, const std::string& name);
