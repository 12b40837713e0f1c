#pragma once
// What the list benchmarks share: a stopwatch, the process's memory figures and a test file.

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <string>

inline double NowMs() {
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline PROCESS_MEMORY_COUNTERS MemoryNow() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

// A list file of `lines` host names ending in CR LF, about 21 bytes a line. Returns its size.
inline size_t WriteListFile(const std::string& path, unsigned lines) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    std::string chunk;
    size_t total = 0;
    for (unsigned i = 0; i < lines; ++i) {
        char line[64];
        int n = std::snprintf(line, sizeof line, "w%06u.example.com\r\n", i);
        chunk.append(line, static_cast<size_t>(n));
        if (chunk.size() > (1 << 20) || i + 1 == lines) {
            DWORD written = 0;
            WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
            total += written;
            chunk.clear();
        }
    }
    CloseHandle(file);
    return total;
}

inline std::string TempFilePath(const char* name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + name + "-" + std::to_string(GetCurrentProcessId()) + ".txt";
}
