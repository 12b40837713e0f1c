#pragma once
// Start with Windows: the program's value under the machine-wide Run key.
//   mStartUp  finds the program's own file and writes or deletes its Run entry;
//   RegStuff  the small registry wrappers underneath.
// No registry failure is reported: without the rights to write under HKEY_LOCAL_MACHINE the key
// does not open, and the write or delete does nothing.

#include <windows.h>

#include <string>

inline constexpr char kRunKeyPath[] = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\\";
// KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY |
// KEY_CREATE_LINK
inline constexpr REGSAM kRunKeyAccess = 0x3F;

namespace mStartUp {
// Writes the Run entry named after the program's executable, pointing at it.
void SetStartupEntry();
// Deletes that Run entry.
void ClearStartupEntry();
// The value name of the entry: the file name of the running program's own module. It is the
// module's name rather than the first ".exe" a listing of the folder returns, so an uninstaller
// or a second program beside it can never become the program started at logon.
std::string StartupEntryName();
}  // namespace mStartUp

namespace RegStuff {
// The entry's data: the folder, one backslash between folder and name, the whole path in double
// quotes when it holds a space (an unquoted path with a space lets Windows start a program at a
// shorter path, such as "C:\Program.exe").
std::string RunEntryData(const std::string& folder, const std::string& name);

void WriteRunEntry(const std::string& name);
void DeleteRunEntry(const std::string& name);

// Opens the key with access 0x3F, writes the value, closes the key; every status is ignored.
void WriteRegValue(HKEY root, const std::string& subKey, const std::string& name, const std::string& data,
                   DWORD type);
// Writes one value into an open key and returns the registry's status (0 on success). REG_SZ
// writes the text with its NUL; REG_DWORD writes the text's number as 4 bytes (a text that is not
// a whole number raises a Failure "Type mismatch"); any other type writes nothing and returns 0.
LONG SetValueData(HKEY key, const std::string& name, DWORD type, const std::string& data);
// Opens the key with access 0x3F, deletes the value, closes the key; every status is ignored.
void DeleteRegValue(HKEY root, const std::string& subKey, const std::string& name);
}  // namespace RegStuff
