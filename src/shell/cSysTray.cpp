#include "shell/cSysTray.h"

#include <commctrl.h>

#include "core/Failure.h"
#include "ui/MessagePump.h"

#include <algorithm>
#include <chrono>
#include <cstring>

ShellNotifyIconFunction TrayShellNotifyIcon = &SendToShellInOrder;

UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

namespace {

constexpr char kControlClassName[] = "ParvaliskTrayControl";

// mSysTray's one slot: the procedure the control's window had before TrayWindowProc replaced it.
// There is one slot, so only one control at a time may show its icon.
WNDPROC previousProcedure = nullptr;

int ControlSidePixels() {
    HDC screen = GetDC(nullptr);
    int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return MulDiv(kTrayControlTwips, dpi, 1440);
}

// The control window's own procedure: it keeps the window at its fixed size.
LRESULT CALLBACK TrayControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGING) {
        auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
        if ((position->flags & SWP_NOSIZE) == 0) {
            position->cx = ControlSidePixels();
            position->cy = position->cx;
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterClasses(HINSTANCE instance) {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXA control{};
    control.cbSize = sizeof control;
    control.lpfnWndProc = TrayControlProc;
    control.hInstance = instance;
    control.lpszClassName = kControlClassName;
    if (RegisterClassExA(&control) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) ThrowWin32Error();
    registered = true;
}

// A zeroed record naming the window and the icon; every operation fills only what it needs.
NOTIFYICONDATAA NewRecord(HWND window, UINT id) {
    NOTIFYICONDATAA record;
    std::memset(&record, 0, sizeof record);
    record.cbSize = kNotifyIconRecordSize;
    record.hWnd = window;
    record.uID = id;
    return record;
}

// Copies text into a fixed field, cutting it so that it and its NUL fit.
template <std::size_t N>
void CopyCut(char (&field)[N], const std::string& text) {
    std::size_t length = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

bool IsIcon(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return false;
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    return true;
}

}  // namespace

cSysTray::~cSysTray() {
    if (inTray_) SetInTray(false);
    // The shell knows the icon by the control's window: it must have the removal before the
    // window goes. A shell that does not take it within the bound is not waited for longer, so
    // the program still ends.
    FinishShellNotifications();
    if (host_ != nullptr && IsWindow(host_))
        RemoveWindowSubclass(host_, TaskbarWatchProc, reinterpret_cast<UINT_PTR>(this));
    // The parent may already have taken the control's window with it.
    if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
}

void cSysTray::Create(HWND parent) {
    if (window_ != nullptr) return;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterClasses(instance);
    int side = ControlSidePixels();
    HWND window = CreateWindowExA(0, kControlClassName, "", WS_CHILD, 0, 0, side, side, parent, nullptr,
                                  instance, nullptr);
    if (window == nullptr) ThrowWin32Error();
    HWND host = GetAncestor(window, GA_ROOT);
    if (host == nullptr || !SetWindowSubclass(host, TaskbarWatchProc, reinterpret_cast<UINT_PTR>(this),
                                              reinterpret_cast<DWORD_PTR>(this))) {
        DestroyWindow(window);
        ThrowWin32Error(ERROR_NOT_ENOUGH_MEMORY);
    }
    // An elevated program (the usual case, since it edits the hosts file) gets the broadcast from
    // a non-elevated shell only when it lets the message through.
    ChangeWindowMessageFilterEx(host, TaskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
    window_ = window;
    host_ = host;
}

void cSysTray::SetInTray(bool value) {
    if (value == inTray_) return;
    if (value && window_ != nullptr) {
        previousProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongA(window_, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&TrayWindowProc)));
        SetWindowLongA(window_, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
        AddTrayIcon(window_, kTrayIconId, tip_, icon_);
        iconAdded_ = true;
    } else if (!value && iconAdded_) {
        RemoveTrayIcon(window_, kTrayIconId);
        if (previousProcedure != nullptr)
            SetWindowLongA(window_, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(previousProcedure));
        iconAdded_ = false;
    }
    inTray_ = value;
}

void cSysTray::SetTrayIcon(HICON icon) {
    if (!IsIcon(icon)) return;
    if (iconAdded_) {
        NOTIFYICONDATAA record = NewRecord(window_, kTrayIconId);
        record.uFlags = NIF_ICON;
        record.hIcon = icon;
        TrayShellNotifyIcon(NIM_MODIFY, &record);
    }
    icon_ = icon;
}

void cSysTray::SetTrayTip(const std::string& tip) {
    if (iconAdded_) {
        // Sent also for an empty tip, which clears the tooltip.
        NOTIFYICONDATAA record = NewRecord(window_, kTrayIconId);
        record.uFlags = NIF_TIP;
        CopyCut(record.szTip, tip);
        TrayShellNotifyIcon(NIM_MODIFY, &record);
    }
    tip_ = tip;
}

void cSysTray::ShowBalloon(const std::string& text, const std::string& title, long seconds, bool once) {
    if (once && onceCounter_ >= 1) return;
    if (seconds > kMaxBalloonSeconds) throw Failure("Overflow");

    NOTIFYICONDATAA record = NewRecord(window_, kTrayIconId);
    record.uFlags = NIF_INFO;
    CopyCut(record.szInfoTitle, title);
    CopyCut(record.szInfo, text);
    record.uTimeout = seconds > 0 ? static_cast<UINT>(seconds * 1000) : 0;
    TrayShellNotifyIcon(NIM_MODIFY, &record);
    balloonUp_ = true;
    if (once) ++onceCounter_;

    if (seconds <= 0) return;  // no time given: the balloon stays up as long as the shell keeps it

    // The shell's notifications that clear the flag arrive through the message processing.
    // Between passes the thread sleeps until a message comes or the time is over.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    while (balloonUp_ && Clock::now() < end) {
        ProcessPendingEvents();
        if (!balloonUp_) break;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }

    if (balloonUp_) {
        // The time is over and the shell never said the balloon went: take it away.
        NOTIFYICONDATAA removal = NewRecord(window_, kTrayIconId);
        removal.uFlags = NIF_INFO;
        TrayShellNotifyIcon(NIM_MODIFY, &removal);
    }
}

void cSysTray::HandleTrayMessage(UINT code, UINT id) {
    int icon = static_cast<int>(id);
    switch (code) {
        case WM_MOUSEMOVE:
            if (MouseMove) MouseMove(icon);
            break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            if (MouseDown) MouseDown(code == WM_LBUTTONDOWN ? 1 : 2, icon);
            break;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
            if (MouseUp) MouseUp(code == WM_LBUTTONUP ? 1 : 2, icon);
            break;
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
            if (MouseDblClick) MouseDblClick(code == WM_LBUTTONDBLCLK ? 1 : 2, icon);
            break;
        case NIN_BALLOONHIDE:
        case NIN_BALLOONTIMEOUT:
        case NIN_BALLOONUSERCLICK:
            balloonUp_ = false;
            break;
        default:
            break;
    }
}

void cSysTray::AddTrayIcon(HWND window, UINT id, const std::string& tip, HICON icon) {
    NOTIFYICONDATAA record = NewRecord(window, id);
    if (icon != nullptr) {
        record.hIcon = icon;
        record.uFlags |= NIF_ICON;
        icon_ = icon;
    }
    if (!tip.empty()) {
        CopyCut(record.szTip, tip);
        record.uFlags |= NIF_TIP;
        tip_ = tip;
    }
    record.uCallbackMessage = kTrayCallbackMessage;
    record.uFlags |= NIF_MESSAGE;
    TrayShellNotifyIcon(NIM_ADD, &record);
}

void cSysTray::RemoveTrayIcon(HWND window, UINT id) {
    NOTIFYICONDATAA record = NewRecord(window, id);
    TrayShellNotifyIcon(NIM_DELETE, &record);
}

void cSysTray::TaskbarCreated() {
    if (iconAdded_) AddTrayIcon(window_, kTrayIconId, tip_, icon_);
}

// ---- mSysTray ---------------------------------------------------------------------------------

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTrayCallbackMessage) {
        auto* control = reinterpret_cast<cSysTray*>(GetWindowLongA(window, GWL_USERDATA));
        if (control != nullptr) {
            // The event handlers report their own failures; nothing may unwind through the
            // system's frames of this procedure.
            try {
                control->HandleTrayMessage(static_cast<UINT>(lParam), static_cast<UINT>(wParam));
            } catch (...) {
            }
        }
    }
    return CallWindowProcA(previousProcedure, window, message, wParam, lParam);
}

LRESULT CALLBACK TaskbarWatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR control) {
    if (message == TaskbarCreatedMessage()) {
        // No failure leaves a window procedure, and the window itself may still want the news.
        try {
            reinterpret_cast<cSysTray*>(control)->TaskbarCreated();
        } catch (...) {
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, TaskbarWatchProc, id);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
