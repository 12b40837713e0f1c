#pragma once
// The one way a test reads the main window's insides, and reaches the parts it owns, beside its
// controls and its tray icon: what a user sees or does goes through those instead.

#include "MainWindow.h"

struct MainWindowView {
    // Whether the window is locked behind its password (it hides in the tray).
    static bool Locked(const MainWindow& window) { return window.lock_.Locked(); }
    // The pointer state, as a running load sets it (with the mouse parked off the window, or its
    // next move there sets it again).
    static void SetPointer(MainWindow& window, Pointer pointer) { window.SetPointer(pointer); }
    // The watch on the hosts file, to say at once that the hosts folder changed.
    static HostsWatch& Watch(MainWindow& window) { return window.hostsWatch_; }
};
