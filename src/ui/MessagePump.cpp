#include "MessagePump.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

std::vector<HWND>& DialogWindows() {
    static std::vector<HWND> windows;
    return windows;
}

struct Watch {
    HANDLE handle;
    std::function<void()> signalled;
};

std::vector<Watch>& Watched() {
    static std::vector<Watch> watched;
    return watched;
}

bool RouteToDialog(MSG& msg) {
    for (HWND window : DialogWindows()) {
        if (IsWindow(window) && (msg.hwnd == window || IsChild(window, msg.hwnd)) &&
            IsDialogMessageA(window, &msg))
            return true;
    }
    return false;
}

void Dispatch(MSG& msg) {
    if (RouteToDialog(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

}  // namespace

void RegisterDialogWindow(HWND window) {
    DialogWindows().push_back(window);
}

void UnregisterDialogWindow(HWND window) {
    auto& windows = DialogWindows();
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

void WatchHandle(HANDLE handle, std::function<void()> signalled) {
    UnwatchHandle(handle);
    Watched().push_back({handle, std::move(signalled)});
}

void UnwatchHandle(HANDLE handle) {
    auto& watched = Watched();
    watched.erase(
        std::remove_if(watched.begin(), watched.end(), [&](const Watch& w) { return w.handle == handle; }),
        watched.end());
}

namespace {

// Handles every message and watched handle that is ready. False when the quit message came.
bool HandleReadyEvents(int& exitCode) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            exitCode = static_cast<int>(msg.wParam);
            return false;
        }
        Dispatch(msg);
    }
    // A handler may watch or unwatch handles, so each one is looked up afresh.
    std::vector<HANDLE> handles;
    for (const Watch& w : Watched()) handles.push_back(w.handle);
    for (HANDLE handle : handles) {
        if (WaitForSingleObject(handle, 0) != WAIT_OBJECT_0) continue;
        for (const Watch& w : Watched()) {
            if (w.handle != handle) continue;
            std::function<void()> signalled = w.signalled;
            signalled();
            break;
        }
    }
    return true;
}

}  // namespace

void ProcessPendingEvents() {
    int exitCode = 0;
    // Leave the quit for the main loop to see.
    if (!HandleReadyEvents(exitCode)) PostQuitMessage(exitCode);
}

void WaitUntilEventsReady(DWORD milliseconds) {
    std::vector<HANDLE> handles;
    for (const Watch& w : Watched()) handles.push_back(w.handle);
    MsgWaitForMultipleObjectsEx(static_cast<DWORD>(handles.size()), handles.data(), milliseconds, QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
}

bool WaitForEvents(DWORD milliseconds, int& exitCode) {
    WaitUntilEventsReady(milliseconds);
    return HandleReadyEvents(exitCode);
}

bool WaitWhileEventsRun(HANDLE handle, DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    std::optional<int> quit;
    for (;;) {
        if (handle != nullptr && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) break;
        const ULONGLONG now = GetTickCount64();
        if (now >= end) break;
        const DWORD remaining = static_cast<DWORD>(std::min<ULONGLONG>(end - now, INFINITE - 1));
        if (quit) {
            // No more messages once the quit came: the loop would see it again at once.
            if (handle == nullptr)
                Sleep(remaining);
            else
                WaitForSingleObject(handle, remaining);
            continue;
        }
        std::vector<HANDLE> handles;
        if (handle != nullptr) handles.push_back(handle);
        for (const Watch& w : Watched()) handles.push_back(w.handle);
        MsgWaitForMultipleObjectsEx(static_cast<DWORD>(handles.size()), handles.data(), remaining,
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        int exitCode = 0;
        if (!HandleReadyEvents(exitCode)) quit = exitCode;
    }
    if (quit) PostQuitMessage(*quit);
    return handle != nullptr && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

int RunMessageLoop() {
    int exitCode = 0;
    while (WaitForEvents(INFINITE, exitCode)) {
    }
    return exitCode;
}
