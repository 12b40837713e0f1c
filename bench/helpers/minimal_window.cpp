// The yardstick for the start-up benchmark: the smallest Win32 program that opens one window.
#include <windows.h>

#include "YardstickWindow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    yardstick::RegisterPlainClass(instance, "ParvaliskMinimalWindow");
    HWND window = CreateWindowA("ParvaliskMinimalWindow", "Minimal Window",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                                CW_USEDEFAULT, 560, 460, nullptr, nullptr, instance, nullptr);
    return yardstick::ShowAndRun(window);
}
