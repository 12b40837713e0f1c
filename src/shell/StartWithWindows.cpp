#include "StartWithWindows.h"

#include <windows.h>

#include "MachineStartWithWindows.h"
#include "ProgramPaths.h"

void SwitchStartWithWindows(bool on, const std::string& dataFolder) {
    SwitchMachineStartWithWindows(on, {HKEY_LOCAL_MACHINE, kRunKeyPath, dataFolder, ProgramPath()});
}

bool StartWithWindowsMarkerExists(const std::string& dataFolder) {
    DWORD attributes = GetFileAttributesA(StartWithWindowsMarkerPath(dataFolder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}
