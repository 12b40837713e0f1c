#include "WindowLock.h"

#include <commctrl.h>

#include <utility>

WindowLock::WindowLock(Control& passwordField, std::function<void()> askForPassword)
    : passwordField_(passwordField), askForPassword_(std::move(askForPassword)) {}

void WindowLock::Lock() {
    locked_ = true;
    lockedFieldText_ = passwordField_.Caption();
    unlockPassword_.Forget();
}

void WindowLock::Unlock(std::string_view typedPassword) {
    unlockPassword_.Hold(typedPassword);
    locked_ = false;
}

bool WindowLock::Refuses(UINT msg, WPARAM wp, LPARAM lp) {
    if (!locked_) return false;
    switch (msg) {
        case WM_COMMAND:
            // No button, box or field obeys; a disabled button already ignores a click sent to it,
            // but a command posted or sent to the window comes here.
            if (static_cast<int>(LOWORD(wp)) == passwordField_.id && HIWORD(wp) == EN_CHANGE)
                KeepLockedFieldText();
            return true;
        case WM_NOTIFY:
            // The list still asks for the texts it paints; its double-click and keys are refused.
            return reinterpret_cast<const NMHDR*>(lp)->code != LVN_GETDISPINFOA;
        case WM_WINDOWPOSCHANGING:
            // Another program's ShowWindow or SetWindowPos cannot show the locked window; the rest
            // of the change goes on.
            reinterpret_cast<WINDOWPOS*>(lp)->flags &= ~SWP_SHOWWINDOW;
            return false;
        case WM_STYLECHANGING: {
            // Nor can its SetWindowLong add the visible style.
            auto& style = *reinterpret_cast<STYLESTRUCT*>(lp);
            if (wp == static_cast<WPARAM>(GWL_STYLE) && (style.styleOld & WS_VISIBLE) == 0)
                style.styleNew &= ~WS_VISIBLE;
            return true;
        }
        case WM_SYSCOMMAND:
            // A restore or maximise of the locked window asks for the password instead.
            if ((wp & 0xFFF0) != SC_RESTORE && (wp & 0xFFF0) != SC_MAXIMIZE) return false;
            askForPassword_();
            return true;
    }
    return false;
}

void WindowLock::KeepLockedFieldText() {
    if (passwordField_.Caption() != lockedFieldText_) passwordField_.SetCaption(lockedFieldText_);
}
