// The two start-up option boxes of the main window's "Startup Option" frame.
#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "core/FileHelpers.h"
#include "shell/RunKey.h"
#include "shell/StartupOptions.h"

namespace {

// The option boxes have no error report: a settings store that refuses the value leaves the box
// as clicked, and the rest of the click (Run entry, marker) still happens.
void SaveOption(const char* key, const char* value) {
    try {
        SaveSetting(key, value);
    } catch (...) {
    }
}

}  // namespace

// "Load this software on Windows startup".
void Form1::Check1_Click() {
    if (Loading) return;
    if (Check1.Value() == 1) {
        Check8.SetVisible(true);
        SaveOption(kKeyWindowsStartup, "On");
        mStartUp::SetStartupEntry();
        WriteFileText(DataFolder + kStartupMarkerSuffix, kStartupMarkerText);
    } else {
        Check8.SetValue(0);  // its own click saves "Minimized" = "Off"
        Check8.SetVisible(false);
        SaveOption(kKeyWindowsStartup, "Off");
        mStartUp::ClearStartupEntry();
        DeleteFileForced(DataFolder + kStartupMarkerSuffix);
    }
}

// "Start in system tray". No loading-flag test: start-up saves the value it just read back.
void Form1::Check8_Click() { SaveOption(kKeyMinimized, Check8.Value() == 1 ? "On" : "Off"); }

bool StartupMarkerExists(const std::string& dataFolder) {
    DWORD attributes = GetFileAttributesA((dataFolder + kStartupMarkerSuffix).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}
