#pragma once
// The tests' one wait for something another thread, process or timer brings about: the condition
// is asked every `pollMs` until it holds or `milliseconds` have passed, and once more at the end.
// Between two asks the thread sleeps, or, given `pause`, runs it instead (a message loop that
// lets the window's timers and handles run).

#include <windows.h>

#include <functional>

inline bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds, DWORD pollMs = 20,
                      const std::function<void(DWORD)>& pause = {}) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (!condition()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return condition();
        const DWORD step = static_cast<DWORD>(now + pollMs > end ? end - now : pollMs);
        if (pause)
            pause(step);
        else
            Sleep(step);
    }
    return true;
}
