// The main window's messages, each sent on to its handler; the lock is asked first.
#include "MainWindow.h"

#include <commctrl.h>

#include "Appearance.h"
#include "MessagePump.h"
#include "SingleInstance.h"

LRESULT MainWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == SecondStartMessage()) {
        OnSecondStart();
        return 0;
    }
    if (lock_.Refuses(msg, wp, lp)) return 0;
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<NMHDR*>(lp));
        case WM_SIZE:
            OnResized();
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT && OnSetCursor(reinterpret_cast<HWND>(wp))) return TRUE;
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            const Control* coloured[] = {&controls_.optionsFrame, &controls_.passwordFrame,
                                         &controls_.statusLabel, &controls_.startWithWindowsBox,
                                         &controls_.startInTrayBox};
            return ColourControl(hwnd_, msg, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), coloured);
        }
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wp) EndSession();
            return 0;
        case WM_CLOSE:
            OnCloseAsked();
            return 0;
        case WM_DESTROY:
            UnregisterDialogWindow(hwnd_);
            if (endsProgram_) PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            return 0;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

void MainWindow::OnCommand(int id, int code) {
    if (id == kIdPasswordField) {
        if (code == EN_CHANGE) OnPasswordFieldChanged();
        return;
    }
    if (code != BN_CLICKED || busy_.serviceWorking) return;
    switch (id) {
        case kIdHelpButton:
            OnHelpClicked();
            break;
        case kIdScheduleButton:
            OnScheduleClicked();
            break;
        case kIdStartStopButton:
            OnStartStopClicked();
            break;
        case kIdClearListButton:
            OnClearListClicked();
            break;
        case kIdLoadFromFileButton:
            OnLoadFromFileClicked();
            break;
        case kIdLoadSamplesButton:
            OnLoadSamplesClicked();
            break;
        case kIdAddWebsiteButton:
            OnAddWebsiteClicked();
            break;
        case kIdStartWithWindowsBox:
            OnStartWithWindowsChanged();
            break;
        case kIdStartInTrayBox:
            OnStartInTrayChanged();
            break;
    }
}

LRESULT MainWindow::OnNotify(NMHDR& header) {
    if (header.hwndFrom != websiteList_.hwnd) return 0;
    switch (header.code) {
        case LVN_GETDISPINFOA:
            websiteList_.OnGetDispInfo(reinterpret_cast<NMLVDISPINFOA&>(header));
            return 0;
        case NM_DBLCLK:
            if (busy_.serviceWorking) return 0;
            OnWebsiteListDoubleClicked();
            return 0;
        case LVN_KEYDOWN:
            // Shift, Ctrl and Alt make no difference: Shift+Delete removes as Delete does.
            if (busy_.serviceWorking) return 0;
            OnWebsiteListKeyDown(reinterpret_cast<NMLVKEYDOWN&>(header).wVKey);
            return 0;
    }
    return 0;
}

void MainWindow::OnCloseAsked() {
    // A close while the window waits for the service would take the window away under the
    // command that waits: it is held until that command is done.
    if (busy_.serviceWorking) {
        busy_.closeHeld = true;
        return;
    }
    if (!busy_.closing) {
        busy_.closing = true;
        RunClose();
    }
    DestroyWindow(hwnd_);
}
