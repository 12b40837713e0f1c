#include "MessagePump.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<HWND>& DialogWindows() {
    static std::vector<HWND> windows;
    return windows;
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

void ProcessPendingEvents() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit for the main loop to see.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
    return static_cast<int>(msg.wParam);
}
