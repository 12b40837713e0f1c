#include "TrayIcon.h"

#include <commctrl.h>

#include "Failure.h"
#include "Handles.h"
#include "MessagePump.h"
#include "WindowLayout.h"
#include "UserTexts.h"

#include <algorithm>
#include <chrono>
#include <cstring>

UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

namespace {

constexpr char kControlClassName[] = "ParvaliskTrayControl";

constexpr UINT_PTR kTrayCallbackSubclass = 1;

int ControlSidePixels() {
    return TwipsToPixels(kTrayControlTwips, ScreenDpi());
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
    CheckWin32(RegisterClassExA(&control) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
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
    // The icon's information comes with copies of its two bitmaps, which are the caller's to free.
    UniqueBitmap mask(info.hbmMask), colour(info.hbmColor);
    return true;
}

}  // namespace

TrayIcon::~TrayIcon() {
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

void TrayIcon::Create(HWND parent) {
    if (window_ != nullptr) return;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterClasses(instance);
    int side = ControlSidePixels();
    HWND window = CreateWindowExA(0, kControlClassName, "", WS_CHILD, 0, 0, side, side, parent, nullptr,
                                  instance, nullptr);
    CheckWin32(window);
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

void TrayIcon::SetInTray(bool value) {
    if (value == inTray_) return;
    if (value && window_ != nullptr) {
        SetWindowSubclass(window_, TrayCallbackProc, kTrayCallbackSubclass,
                          reinterpret_cast<DWORD_PTR>(this));
        AddTrayIcon(window_, kTrayIconId, tip_, icon_);
        iconAdded_ = true;
    } else if (!value && iconAdded_) {
        RemoveTrayIcon(window_, kTrayIconId);
        RemoveWindowSubclass(window_, TrayCallbackProc, kTrayCallbackSubclass);
        iconAdded_ = false;
    }
    inTray_ = value;
}

void TrayIcon::SetIcon(HICON icon) {
    if (!IsIcon(icon)) return;
    if (iconAdded_) {
        NOTIFYICONDATAA record = NewRecord(window_, kTrayIconId);
        record.uFlags = NIF_ICON;
        record.hIcon = icon;
        send_(NIM_MODIFY, &record);
    }
    icon_ = icon;
}

void TrayIcon::SetTip(const std::string& tip) {
    if (iconAdded_) {
        // Sent also for an empty tip, which clears the tooltip.
        NOTIFYICONDATAA record = NewRecord(window_, kTrayIconId);
        record.uFlags = NIF_TIP;
        CopyCut(record.szTip, tip);
        send_(NIM_MODIFY, &record);
    }
    tip_ = tip;
}

void TrayIcon::ShowBalloon(const std::string& text, const std::string& title, long seconds, bool once) {
    if (once && onceCounter_ >= 1) return;
    if (seconds > kMaxBalloonSeconds) throw Failure(kOverflow);

    NOTIFYICONDATAA record = NewRecord(window_, kTrayIconId);
    record.uFlags = NIF_INFO;
    CopyCut(record.szInfoTitle, title);
    CopyCut(record.szInfo, text);
    record.uTimeout = seconds > 0 ? static_cast<UINT>(seconds * 1000) : 0;
    send_(NIM_MODIFY, &record);
    balloonUp_ = true;
    if (once) ++onceCounter_;

    if (seconds <= 0) return;  // no time given: the balloon stays up as long as the shell keeps it

    // The shell's notifications that clear the flag arrive through the message processing.
    // Between passes the thread sleeps until a message comes, a watched handle is signalled (the
    // hosts watch's change notification, say, which must not wait for the balloon) or the time is
    // over.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    while (balloonUp_ && Clock::now() < end) {
        ProcessPendingEvents();
        if (!balloonUp_) break;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        WaitUntilEventsReady(static_cast<DWORD>(left));
    }

    if (balloonUp_) {
        // The time is over and the shell never said the balloon went: take it away.
        NOTIFYICONDATAA removal = NewRecord(window_, kTrayIconId);
        removal.uFlags = NIF_INFO;
        send_(NIM_MODIFY, &removal);
    }
}

void TrayIcon::HandleTrayMessage(UINT code, UINT id) {
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

void TrayIcon::AddTrayIcon(HWND window, UINT id, const std::string& tip, HICON icon) {
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
    send_(NIM_ADD, &record);
}

void TrayIcon::RemoveTrayIcon(HWND window, UINT id) {
    NOTIFYICONDATAA record = NewRecord(window, id);
    send_(NIM_DELETE, &record);
}

void TrayIcon::TaskbarCreated() {
    if (iconAdded_) AddTrayIcon(window_, kTrayIconId, tip_, icon_);
}

LRESULT CALLBACK TrayCallbackProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR control) {
    if (message == kTrayCallbackMessage) {
        // The event handlers report their own failures; nothing may unwind through the system's
        // frames of this procedure.
        try {
            reinterpret_cast<TrayIcon*>(control)->HandleTrayMessage(static_cast<UINT>(lParam),
                                                                    static_cast<UINT>(wParam));
        } catch (...) {
            // The handlers report their own failures; nothing may unwind through the system.
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, TrayCallbackProc, id);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK TaskbarWatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR control) {
    if (message == TaskbarCreatedMessage()) {
        // No failure leaves a window procedure, and the window itself may still want the news.
        try {
            reinterpret_cast<TrayIcon*>(control)->TaskbarCreated();
        } catch (...) {
            // The handlers report their own failures; nothing may unwind through the system.
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, TaskbarWatchProc, id);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
