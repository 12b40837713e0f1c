#pragma once
// The static window procedure shared by the program's window classes. It recovers the object
// from the window's user data (stored on WM_NCCREATE from the creation parameter) and forwards
// each message to its OnMessage. No failure ever leaves a window procedure.
// A class befriends its own instance: friend LRESULT CALLBACK ForwardingWindowProc<MainWindow>(...).

#include <windows.h>

template <class Window>
LRESULT CALLBACK ForwardingWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (self == nullptr) return DefWindowProcA(hwnd, msg, wp, lp);
    try {
        return self->OnMessage(msg, wp, lp);
    } catch (...) {
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

// Registers, once, the window class of a window whose procedure is ForwardingWindowProc<Window>:
// arrow pointer, button-face background, and the given icons (none by default). True when the
// class is there to use.
template <class Window>
bool RegisterForwardingClass(const char* className, HICON icon = nullptr, HICON smallIcon = nullptr) {
    static bool registered = false;
    if (registered) return true;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ForwardingWindowProc<Window>;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = icon;
    wc.hIconSm = smallIcon;
    wc.lpszClassName = className;
    registered = RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return registered;
}
