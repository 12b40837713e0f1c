// The two start-up option boxes of the main window's "Startup Option" frame.
#include "MainWindow.h"
#include "MessagePump.h"
#include "SettingsStore.h"

namespace {

// The option boxes have no error report: a settings store that refuses the value leaves the box
// as clicked, and the rest of the click (Run entry, marker) still happens.
void SaveOption(const SettingsStore& settings, const char* key, const char* value) {
    try {
        settings.Save(key, value);
    } catch (...) {
        // Told nowhere by design; the box shows what the user chose.
    }
}

}  // namespace

// "Load this software on Windows startup".
void MainWindow::OnStartWithWindowsChanged() {
    if (state_.loading) return;
    if (controls_.startWithWindowsBox.Value() == 1) {
        controls_.startInTrayBox.SetVisible(true);
        SaveOption(settings_, kKeyStartWithWindows, "On");
        WhileServiceWorks([&] { startWithWindows_.Switch(true, state_.dataFolder); });
    } else {
        controls_.startInTrayBox.SetValue(0);  // its own click saves "Minimized" = "Off"
        controls_.startInTrayBox.SetVisible(false);
        SaveOption(settings_, kKeyStartWithWindows, "Off");
        // The forced delete of the marker lets pending events run first.
        ProcessPendingEvents();
        WhileServiceWorks([&] { startWithWindows_.Switch(false, state_.dataFolder); });
    }
}

// "Start in system tray". No loading-flag test: start-up saves the value it just read back.
void MainWindow::OnStartInTrayChanged() {
    SaveOption(settings_, kKeyMinimized, controls_.startInTrayBox.Value() == 1 ? "On" : "Off");
}
