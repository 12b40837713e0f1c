#include "SingleInstance.h"

#include <tlhelp32.h>

#include "Handles.h"
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

// True when another process runs this program's own file: a copy that may still be making its
// main window. Any other program may hold the running copy's name, and is not waited for.
bool ThisProgramRunsElsewhere() {
    char own[MAX_PATH] = "";
    DWORD ownLength = GetModuleFileNameA(nullptr, own, MAX_PATH);
    if (ownLength == 0 || ownLength == MAX_PATH) return true;  // unknown: a copy may be starting
    const char* ownName = own;
    for (const char* c = own; *c != '\0'; ++c)
        if (*c == '\\' || *c == '/') ownName = c + 1;

    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return true;
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == self || lstrcmpiA(entry.szExeFile, ownName) != 0) continue;
        UniqueKernelHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        char path[MAX_PATH] = "";
        DWORD length = MAX_PATH;
        // A process of the same name whose file cannot be told may be a copy of this program.
        if (!process || !QueryFullProcessImageNameA(process.get(), 0, path, &length)) return true;
        if (lstrcmpiA(path, own) == 0) return true;
    }
    return false;
}

}  // namespace

UINT SecondStartMessage() {
    static const UINT message = RegisterWindowMessageA(kSecondStartMessageName);
    return message;
}

SingleInstance::SingleInstance() {
    mutex_.reset(CreateMutexA(nullptr, FALSE, kRunningCopyName));
    DWORD error = GetLastError();
    // Should the name be taken by an object of another kind, the claim cannot be made: a main
    // window of a running copy then still decides.
    anotherCopyRuns_ = !mutex_ ? RunningMainWindow() != nullptr : error == ERROR_ALREADY_EXISTS;
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
        // Without a window and without a copy of this program, nothing will take the hand-over.
        if (!ThisProgramRunsElsewhere() || GetTickCount() - started >= milliseconds) return false;
        Sleep(50);
    }
}
