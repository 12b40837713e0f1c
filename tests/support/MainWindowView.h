#pragma once
// The one way a test reads the main window's insides, and reaches the parts it owns, beside its
// controls and its tray icon: what a user sees or does goes through those instead.

#include "MainWindow.h"
#include "UserTexts.h"

struct MainWindowView {
    static const ProgramState& State(const MainWindow& window) { return window.State(); }
    static const WebsiteList& List(const MainWindow& window) { return window.List(); }
    // The window's own steps, to arrange a state without the commands that lead there.
    static void SetWindowState(MainWindow& window, WindowState state) { window.SetWindowState(state); }
    static void SetVisible(MainWindow& window, bool visible) { window.SetVisible(visible); }
    static void SetBlocking(MainWindow& window, bool blocking) { window.SetBlocking(blocking); }
    static void StartBlocking(MainWindow& window, bool atStartup) { window.StartBlocking(atStartup); }
    static void StopBlocking(MainWindow& window, bool atStartup) { window.StopBlocking(atStartup); }
    static const TrayIcon& Tray(const MainWindow& window) { return window.trayIcon_; }
    // The control with this identifier (kIdHelpButton ... kIdStatusLabel; the list is List()).
    // Throws std::out_of_range for any other identifier.
    static const Control& ControlById(const MainWindow& window, int id) { return window.ControlById(id); }
    static Pointer PointerState(const MainWindow& window) { return window.pointer_; }
    static HCURSOR HandPointer(const MainWindow& window) { return window.look_.handPointer.get(); }
    // The password window while it is loaded, else nullptr.
    static const PasswordWindow* LoadedPasswordWindow(const MainWindow& window) {
        return window.LoadedPasswordWindow();
    }
    // Whether the window is locked behind its password (it hides in the tray).
    static bool Locked(const MainWindow& window) { return window.lock_.Locked(); }
    // The pointer state, as a running load sets it (with the mouse parked off the window, or its
    // next move there sets it again).
    static void SetPointer(MainWindow& window, Pointer pointer) { window.SetPointer(pointer); }
    // The list commands themselves, to arrange a list whatever state the window is in: a window
    // locked in the tray refuses their clicks.
    static void ClearList(MainWindow& window) { window.OnClearListClicked(); }
    static void AddWebsite(MainWindow& window) { window.OnAddWebsiteClicked(); }
    static void LoadFromFile(MainWindow& window) { window.OnLoadFromFileClicked(); }
    // One list file appended as "Load Websites From File" appends it, without the dialog.
    static void LoadListFile(MainWindow& window, const std::string& path) { window.LoadListFile(path); }
    // The watch on the hosts file, to say at once that the hosts folder changed.
    static HostsWatch& Watch(MainWindow& window) { return window.hostsWatch_; }
};
