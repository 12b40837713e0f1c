#pragma once
// Driving the schedule window. It runs its own modal loop, so a test acts from a timer that fires
// inside that loop: it finds the window and drives it with messages, as the mouse and the keys
// would. A window a failing test left open is closed after ten seconds.

#include <windows.h>

#include <functional>
#include <utility>

#include "ScheduleWindow.h"
#include "WeekGrid.h"

inline std::function<void(HWND)> onScheduleWindowShown;

inline void CALLBACK FindScheduleWindowAndAct(HWND, UINT, UINT_PTR id, DWORD) {
    HWND window = FindWindowA(kScheduleWindowClassName, nullptr);
    if (window == nullptr || !IsWindowVisible(window)) return;
    KillTimer(nullptr, id);
    onScheduleWindowShown(window);
}

inline void CALLBACK CloseScheduleWindowLeftOpen(HWND, UINT, UINT_PTR, DWORD) {
    PostMessageA(FindWindowA(kScheduleWindowClassName, nullptr), WM_CLOSE, 0, 0);
}

// While it lives, the next schedule window shown is handed to `action`.
class ScheduleWindowDriver {
  public:
    explicit ScheduleWindowDriver(std::function<void(HWND)> action)
        : find_((onScheduleWindowShown = std::move(action),
                 SetTimer(nullptr, 0, 20, FindScheduleWindowAndAct))),
          close_(SetTimer(nullptr, 0, 10000, CloseScheduleWindowLeftOpen)) {}
    ~ScheduleWindowDriver() {
        KillTimer(nullptr, find_);
        KillTimer(nullptr, close_);
    }
    ScheduleWindowDriver(const ScheduleWindowDriver&) = delete;
    ScheduleWindowDriver& operator=(const ScheduleWindowDriver&) = delete;

  private:
    UINT_PTR find_;
    UINT_PTR close_;
};

inline HWND ScheduleGrid(HWND window) {
    return GetDlgItem(window, kIdScheduleGrid);
}

inline POINT Centre(RECT r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

inline void GridMouse(HWND window, UINT msg, POINT at) {
    SendMessageA(ScheduleGrid(window), msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(at.x, at.y));
}

inline void ClickInGrid(HWND window, POINT at) {
    GridMouse(window, WM_LBUTTONDOWN, at);
    GridMouse(window, WM_LBUTTONUP, at);
}

// A click on one of the window's buttons, posted: it is handled in the window's own loop.
inline void ClickScheduleButton(HWND window, int id) {
    PostMessageA(GetDlgItem(window, id), BM_CLICK, 0, 0);
}
