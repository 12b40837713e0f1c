#pragma once
// What the list benchmarks share: a shown window holding a virtual list view like the main
// window's, wired to a WebsiteList, a stopwatch, the process's memory figures and a test file.

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "WebsiteList.h"
#include "MessagePump.h"

class ListViewHost {
  public:
    explicit ListViewHost(WebsiteList& list) : list_(list) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA wc{};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ListBenchHost";
        RegisterClassA(&wc);
        host_ = CreateWindowExA(0, "ListBenchHost", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 540, 300,
                                nullptr, nullptr, GetModuleHandleA(nullptr), this);
        SetWindowLongPtrA(host_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        list.hwnd = CreateWindowExA(
            WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
            WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 8, 8, 520,
            250, host_, nullptr, GetModuleHandleA(nullptr), nullptr);
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 480;
        column.pszText = const_cast<char*>("Blocked Website(s)");
        ListView_InsertColumn(list.hwnd, 0, &column);
        Paint();
    }
    ~ListViewHost() {
        DestroyWindow(host_);
        list_.hwnd = nullptr;
    }
    // Lets the view draw what it now shows.
    void Paint() {
        UpdateWindow(list_.hwnd);
        ProcessPendingEvents();
    }

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<ListViewHost*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (msg == WM_NOTIFY && self != nullptr) {
            auto* header = reinterpret_cast<NMHDR*>(lp);
            if (header->code == LVN_GETDISPINFOA)
                self->list_.OnGetDispInfo(*reinterpret_cast<NMLVDISPINFOA*>(lp));
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    WebsiteList& list_;
    HWND host_ = nullptr;
};

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
