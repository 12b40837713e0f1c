#pragma once
// The built Parvalisk.exe as the end-to-end tests and the start-up benchmarks meet it: started as
// a user starts it, its windows found from outside, and its settings and data folder (this Wine
// prefix's own) cleared around a run. Header-only, so the benchmarks use it without the tests'
// library.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "ProgramPaths.h"
#include "support/RemoveTree.h"
#include "support/WaitUntil.h"

namespace program_run {

inline constexpr char kSettingsPath[] = "Software\\VB and VBA Program Settings\\Kelmarin\\Parvalisk";

// Waits up to `milliseconds` for the condition, asking it every 50 ms.
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 20000) {
    return WaitUntil(condition, static_cast<DWORD>(milliseconds), 50);
}

// Parvalisk.exe beside the running test or benchmark.
inline std::string ProgramExe() {
    return ProgramFolder() + "\\Parvalisk.exe";
}

// The data folder the program uses in this prefix.
inline std::string ProgramDataFolder() {
    return DataFolderPath(SpecialFolderPath(kCommonAppDataFolder));
}

// Removes the program's settings and data folder, so a run starts as on a fresh computer.
inline void ClearProgramState() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsPath);
    RemoveTree(ProgramDataFolder());
}

// Stores one of the program's settings as the program itself would.
inline bool StoreProgramSetting(const char* key, const std::string& value) {
    HKEY section = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &section,
                        nullptr) != ERROR_SUCCESS)
        return false;
    bool stored = RegSetValueExA(section, key, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(section);
    return stored;
}

struct WindowQuery {
    DWORD process;
    const std::string& className;
    const std::string& caption;
    HWND found = nullptr;
};

inline BOOL CALLBACK MatchWindow(HWND window, LPARAM address) {
    auto& query = *reinterpret_cast<WindowQuery*>(address);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != query.process) return TRUE;
    char name[128] = "", text[256] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, text, sizeof text);
    if (query.className != name || (!query.caption.empty() && query.caption != text)) return TRUE;
    query.found = window;
    return FALSE;
}

// A top-level window of the process with the class and, unless empty, the caption.
inline HWND FindTopWindow(DWORD process, const std::string& className, const std::string& caption = "") {
    WindowQuery query{process, className, caption};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

// The text of a window of another process, asked of the window itself.
inline std::string TextOf(HWND window) {
    char text[1024] = "";
    DWORD_PTR got = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                        &got);
    return std::string(text, got);
}

// One run of the program, ended (killed when it hangs) when the object goes.
class ProgramProcess {
  public:
    ProgramProcess() = default;
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;
    ~ProgramProcess() { End(); }

    // Starts the program as a user would, in the given working folder. False when it cannot start.
    bool Start(const std::string& workingFolder = ProgramFolder()) {
        End();
        const std::string exe = ProgramExe();
        std::string commandLine = "\"" + exe + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            workingFolder.c_str(), &startup, &started))
            return false;
        CloseHandle(started.hThread);
        process_ = started.hProcess;
        id_ = started.dwProcessId;
        return true;
    }
    // Waits up to `milliseconds` for the program to end; its exit code, or -1 while it still runs.
    long WaitForExit(DWORD milliseconds) {
        if (process_ == nullptr || WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return static_cast<long>(code);
    }
    // Ends the program at once if it still runs (as Task Manager would) and lets it go.
    void End() {
        if (process_ == nullptr) return;
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 10000);
        }
        CloseHandle(process_);
        process_ = nullptr;
        id_ = 0;
    }
    HANDLE handle() const { return process_; }
    DWORD id() const { return id_; }

  private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

}  // namespace program_run
