#include "SingleInstance.h"

#include "MainWindow.h"

namespace {

// Local\: the claim holds for this Windows session; another user's session runs its own copy.
constexpr char kRunningCopyName[] = "Local\\Kelmarin.Parvalisk.Running";
constexpr char kSecondStartMessageName[] = "Kelmarin.Parvalisk.SecondStart";

HWND RunningMainWindow() {
    HWND window = nullptr;
    DWORD self = GetCurrentProcessId();
    while ((window = FindWindowExA(nullptr, window, kMainWindowClassName, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != self) return window;
    }
    return nullptr;
}

}  // namespace

UINT SecondStartMessage() {
    static const UINT message = RegisterWindowMessageA(kSecondStartMessageName);
    return message;
}

SingleInstance::SingleInstance() {
    mutex_ = CreateMutexA(nullptr, FALSE, kRunningCopyName);
    DWORD error = GetLastError();
    // Should the name be taken by an object of another kind, the claim cannot be made: a main
    // window of a running copy then still decides.
    anotherCopyRuns_ = mutex_ == nullptr ? RunningMainWindow() != nullptr : error == ERROR_ALREADY_EXISTS;
}

SingleInstance::~SingleInstance() {
    if (mutex_ != nullptr) CloseHandle(mutex_);
}

bool SingleInstance::HandOver(DWORD milliseconds) const {
    const DWORD started = GetTickCount();
    for (;;) {
        if (HWND window = RunningMainWindow()) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            // The running copy may bring its window to the front on this start's behalf.
            AllowSetForegroundWindow(owner);
            return PostMessageA(window, SecondStartMessage(), 0, 0) != 0;
        }
        if (GetTickCount() - started >= milliseconds) return false;
        Sleep(50);
    }
}
