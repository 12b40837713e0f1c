// The main window's close and the end of the Windows session.
#include "MainWindow.h"
#include "PasswordWindow.h"
#include "SettingsStore.h"
#include "ErrorReport.h"
#include "MessagePump.h"
#include "Prompts.h"

void MainWindow::RunClose() {
    // The block outlives the program; only the watch over it ends here.
    hostsWatch_.Stop();
    Guarded p{reports_, ReportLocation(kMainWindowCloseProcedure)};
    if (p.Test(100, [&] { return !state_.blocking; })) {
        // Blocking is off: a backup still present is put back, and the next start stays off.
        p.Line(102, [&] { StopBlocking(false); });
        p.Line(104, [&] { settings_.Save(kKeyBlockOnStart, "0"); });
    } else {
        // Blocking is on: the hosts file keeps its lines and the backup stays for the next start,
        // which resumes the block hidden in the tray.
        p.Line(106, [&] { settings_.Save(kKeyBlockOnStart, "1"); });
        p.Line(108, [&] { controls_.startInTrayBox.SetValue(1); });
        p.Line(110, [&] { settings_.Save(kKeyMinimized, "On"); });
    }
    p.Line(112, [&] { trayIcon_.SetInTray(false); });
    p.Line(114, [&] { ProcessPendingEvents(); });
    p.Line(116, [&] { ProcessPendingEvents(); });
    // The list is read only now: handlers that ran above may still have changed it.
    std::string text;
    p.Line(118, [&] { text.clear(); });
    p.Line(122, [&] { text = EncodeWebsiteList(websiteList_.Views()); });
    p.Line(126, [&] { settings_.Save(kKeyBlockedWebsites, text); });
    p.Line(128, [&] { ProcessPendingEvents(); });
    // The program's only other window is the password window.
    if (passwordWindow_ && passwordWindow_->hwnd() != hwnd_) p.Line(132, [&] { passwordWindow_->Unload(); });
}

void MainWindow::EndSession() {
    // Windows is shutting down or the user logs off: the process may be ended as soon as this
    // returns, so what the close stores is stored first, and no box may hold that up. Nothing is
    // taken down: the system ends the process, and should the message come from another program
    // instead, the program runs on with its tray icon, its watch and its block.
    SilenceablePrompts::Silence silenced(prompts_);
    StoreCloseState();
}

void MainWindow::StoreCloseState() {
    // Each store is tried on its own; the session ends whatever fails, and there is no one to
    // show a report to.
    try {
        if (state_.blocking)
            RecordBlockingOn();
        else
            settings_.Save(kKeyBlockOnStart, "0");
    } catch (...) {
        // Nobody is there to tell; the list is still tried below.
    }
    try {
        settings_.Save(kKeyBlockedWebsites, EncodeWebsiteList(websiteList_.Views()));
    } catch (...) {
        // Nobody is there to tell, and the session ends either way.
    }
}
