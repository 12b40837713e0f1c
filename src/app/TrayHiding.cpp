// The main window's hiding in the notification area: the minimise that takes it there, the tray
// icon's click and a second start that ask for the password, and the unlock that brings it back.
#include "Handles.h"
#include "MainWindow.h"
#include "PasswordWindow.h"
#include "UserTexts.h"

namespace {

constexpr long kMinimizeBalloonSeconds = 5;

}  // namespace

void MainWindow::OnResized() {
    if (GetWindowState() != WindowState::Minimized || lock_.Locked()) return;
    HideInTray();
    try {
        if (state_.blockNotPutBack) {
            // A resumed start whose write was refused: this matters more than the hint, which
            // then shows at the next minimise instead.
            state_.blockNotPutBack = false;
            trayIcon_.ShowBalloon(
                blocker_.LastDoneByService() ? kServiceCouldNotPutBack : kResumedBlockNotWritten,
                kMinimizeBalloonTitle, kMinimizeBalloonSeconds, false);
        } else {
            trayIcon_.ShowBalloon(kMinimizeBalloonText, kMinimizeBalloonTitle, kMinimizeBalloonSeconds, true);
        }
    } catch (...) {
        // The balloon is only a hint; the window is already safely in the tray.
    }
}

void MainWindow::HideInTray() {
    lock_.Lock();
    EnableControls(false);
    // Hidden rather than minimised, the window leaves the taskbar; it comes back in its normal
    // state when the password shows it again.
    SetVisible(false);
    SetWindowState(WindowState::Normal);
    trayIcon_.SetInTray(true);
}

void MainWindow::Unlock(std::string_view typedPassword) {
    // The window comes back even when the shell refuses the icon's removal; that failure then
    // goes on to the caller's report.
    ScopeExit showAgain([&] {
        lock_.Unlock(typedPassword);
        SetVisible(true);
    });
    trayIcon_.SetInTray(false);
}

void MainWindow::OnTrayIconClicked() {
    // Any button, also while the main window is shown: the one password window, not modal.
    if (!passwordWindow_) passwordWindow_ = std::make_unique<PasswordWindow>(*this);
    passwordWindow_->Show();
}

void MainWindow::OnSecondStart() {
    // Hidden in the tray, the way back is the password, as a click on the tray icon gives it.
    if (lock_.Locked()) {
        OnTrayIconClicked();
        return;
    }
    SetVisible(true);
}
