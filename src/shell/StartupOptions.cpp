#include "StartupOptions.h"

#include <windows.h>

#include "FileHelpers.h"
#include "RunKey.h"

void SwitchStartWithWindows(bool on, const std::string& dataFolder) {
    if (on) {
        AddStartupEntry();
        WriteFileText(StartupMarkerPath(dataFolder), kStartupMarkerText);
    } else {
        RemoveStartupEntry();
        DeleteFileForced(StartupMarkerPath(dataFolder));
    }
}

bool StartupMarkerExists(const std::string& dataFolder) {
    DWORD attributes = GetFileAttributesA(StartupMarkerPath(dataFolder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}
