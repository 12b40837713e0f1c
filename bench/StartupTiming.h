#pragma once
// Shared by the start-up benchmarks: start a program the way a user does (CreateProcess) and time
// it until its window is visible; a temporary hosts folder for the machine so the program never
// touches the prefix's hosts file; and the program's own settings and data folder cleared around the
// measurement.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "support/ProgramRun.h"
#include "support/RemoveTree.h"
#include "support/SystemHostsFolder.h"
#include "Appearance.h"

namespace startup_timing {

using program_run::ClearProgramState;

// A temporary Windows folder holding a hosts file, which the machine's hosts folder points at
// while the benchmark runs.
class TemporaryWindir {
  public:
    TemporaryWindir() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "parvalisk-bench-" + std::to_string(GetCurrentProcessId());
        std::string path = root_;
        CreateDirectoryA(path.c_str(), nullptr);
        for (const char* part : {"\\windows", "\\system32", "\\drivers", "\\etc"}) {
            path += part;
            CreateDirectoryA(path.c_str(), nullptr);
        }
        HANDLE hosts =
            CreateFileA((path + "\\hosts").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(hosts, "127.0.0.1 localhost\r\n", 21, &written, nullptr);
        CloseHandle(hosts);
        hostsFolder_ = std::make_unique<SystemHostsFolder>(path);
    }
    ~TemporaryWindir() {
        hostsFolder_.reset();
        RemoveTree(root_);
    }

  private:
    std::string root_;
    std::unique_ptr<SystemHostsFolder> hostsFolder_;
};

// Started right after the previous program has ended, while the benchmark polls for its window,
// a program reaches its first line some 35 ms later than on a quiet machine. The delay fades
// within about half a second of the previous program's end, and as it hits both programs alike
// it pulls their ratio towards 1. A user starts the program on a quiet machine, so each timed
// start waits this long first.
inline constexpr DWORD kSettleMilliseconds = 1000;

struct Started {
    double seconds = -1;  // until the window was visible; -1 when it never was
    HWND window = nullptr;
    PROCESS_INFORMATION process{};
};

// Starts the program and polls until a window of the class and caption is visible.
inline Started StartAndTime(const std::string& exe, const char* windowClass, const char* caption,
                            double timeoutSeconds) {
    Started started;
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    auto begin = std::chrono::steady_clock::now();
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started.process)) {
        std::printf("cannot start %s (error %lu)\n", exe.c_str(), GetLastError());
        return started;
    }
    for (;;) {
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        HWND window = nullptr;
        while ((window = FindWindowExA(nullptr, window, windowClass, caption)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == started.process.dwProcessId && IsWindowVisible(window)) {
                started.seconds = elapsed;
                started.window = window;
                return started;
            }
        }
        if (elapsed > timeoutSeconds) return started;
        Sleep(1);
    }
}

// Closes the program's window and waits for it to end (killing it only if it hangs).
inline void CloseAndWait(Started& started, DWORD milliseconds) {
    if (started.window != nullptr) PostMessageA(started.window, WM_CLOSE, 0, 0);
    if (started.process.hProcess == nullptr) return;
    if (WaitForSingleObject(started.process.hProcess, milliseconds) != WAIT_OBJECT_0) {
        std::printf("the program did not end; stopped it\n");
        TerminateProcess(started.process.hProcess, 1);
        WaitForSingleObject(started.process.hProcess, 5000);
    }
    CloseHandle(started.process.hProcess);
    CloseHandle(started.process.hThread);
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace startup_timing
