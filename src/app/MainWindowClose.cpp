// The main window's minimise to the notification area, the tray icon's click and the close.
#include "app/Form1.h"
#include "app/PasswordWindow.h"
#include "app/SettingsStore.h"
#include "ui/ErrorReport.h"
#include "ui/MessagePump.h"
#include "ui/Prompts.h"
#include "shell/ShellNotifications.h"

namespace {

constexpr char kMinimizeBalloonText[] =
    "has been minimized to the system tray.\r\n"
    "Click on the blue 'K' icon (K for Kelmarin) to bring the software back.";
constexpr char kMinimizeBalloonTitle[] = "Parvalisk";
constexpr long kMinimizeBalloonSeconds = 5;
constexpr char kBlockNotPutBackText[] = "The block could not be put back. Start Parvalisk as administrator.";

}  // namespace

void Form1::Form_Resize() {
    if (GetWindowState() != WindowState::Minimized || HiddenInTray) return;
    // Hidden rather than minimised, the window leaves the taskbar; it comes back in its normal
    // state when the password shows it again.
    SetVisible(false);
    SetWindowState(WindowState::Normal);
    cSysTray1.SetInTray(true);
    HiddenInTray = true;
    try {
        if (BlockNotPutBack) {
            // A resumed start whose write was refused: this matters more than the hint, which
            // then shows at the next minimise instead.
            BlockNotPutBack = false;
            cSysTray1.ShowBalloon(kBlockNotPutBackText, kMinimizeBalloonTitle, kMinimizeBalloonSeconds,
                                  false);
        } else {
            cSysTray1.ShowBalloon(kMinimizeBalloonText, kMinimizeBalloonTitle, kMinimizeBalloonSeconds, true);
        }
    } catch (...) {
        // The balloon is only a hint; the window is already safely in the tray.
    }
}

void Form1::cSysTray1_MouseUp(int, int) {
    // Any button, also while the main window is shown: the one password window, not modal.
    if (!PasswordWindow) PasswordWindow = std::make_unique<Form2>(*this);
    PasswordWindow->Show();
}

void Form1::OnSecondStart() {
    // Hidden in the tray, the way back is the password, as a click on the tray icon gives it.
    if (HiddenInTray) {
        cSysTray1_MouseUp(1, kTrayIconId);
        return;
    }
    SetVisible(true);
}

void Form1::Form_QueryUnload() {
    Guarded p{"in Nestwarden2021/08/31.Form1.Form_QueryUnload "};
    if (p.Test(100, [&] { return PushButton2.Caption() != kStopBlockingCaption; })) {
        // Blocking is off: a backup still present is put back, and the next start stays off.
        p.Line(102, [&] { StopBlocking(false); });
        p.Line(104, [&] { SaveSetting(kKeyBlockOnStart, "0"); });
    } else {
        // Blocking is on: the hosts file keeps its lines and the backup stays for the next start,
        // which resumes the block hidden in the tray.
        p.Line(106, [&] { SaveSetting(kKeyBlockOnStart, "1"); });
        p.Line(108, [&] { Check8.SetValue(1); });
        p.Line(110, [&] { SaveSetting(kKeyMinimized, "On"); });
    }
    p.Line(112, [&] { cSysTray1.SetInTray(false); });
    p.Line(114, [&] { ProcessPendingEvents(); });
    p.Line(116, [&] { ProcessPendingEvents(); });
    // The list is read only now: handlers that ran above may still have changed it.
    std::string text;
    p.Line(118, [&] { text.clear(); });
    p.Line(122, [&] { text = EncodeWebsiteList(ListView1.Views()); });
    p.Line(126, [&] { SaveSetting(kKeyBlockedWebsites, text); });
    p.Line(128, [&] { ProcessPendingEvents(); });
    // The program's only other window is the password window.
    if (PasswordWindow && PasswordWindow->hwnd() != hwnd_) p.Line(132, [&] { PasswordWindow->Unload(); });
}

void Form1::EndSession() {
    // Windows is shutting down or the user logs off. The process may be ended as soon as this
    // returns, so everything is stored first, and no box may hold that up: nobody answers it.
    SilencedPrompts silenced;
    if (!closing_) {
        closing_ = true;
        Form_QueryUnload();
    } else {
        // A close is already running beneath this message (at one of its boxes or while it lets
        // pending events run) and cannot go on before this returns: what it would store is
        // stored now.
        StoreCloseState();
    }
    // The shell must already have the tray icon's removal.
    FinishShellNotifications();
}

void Form1::StoreCloseState() {
    // Each store is tried on its own; the session ends whatever fails, and there is no one to
    // show a report to.
    try {
        if (PushButton2.Caption() == kStopBlockingCaption)
            RecordBlockingOn();
        else
            SaveSetting(kKeyBlockOnStart, "0");
    } catch (...) {
    }
    try {
        SaveSetting(kKeyBlockedWebsites, EncodeWebsiteList(ListView1.Views()));
    } catch (...) {
    }
}
