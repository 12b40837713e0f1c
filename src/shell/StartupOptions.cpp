#include "StartupOptions.h"

#include <windows.h>

#include "MachineStartup.h"
#include "ProgramPaths.h"

void SwitchStartWithWindows(bool on, const std::string& dataFolder) {
    SwitchMachineStartup(on, {HKEY_LOCAL_MACHINE, kRunKeyPath, dataFolder, ProgramPath()});
}

bool StartupMarkerExists(const std::string& dataFolder) {
    DWORD attributes = GetFileAttributesA(StartupMarkerPath(dataFolder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}
