// Loading a list file of a million lines (about 20 MB) into the list, against a plain ReadFile
// of the same file in the same run; the peak memory the load adds; and that the view stays
// quick afterwards (scroll to the end, Delete, Clear List).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "BenchWindow.h"
#include "ListBenchHelpers.h"
#include "support/MainWindowView.h"

namespace {

// The plain read: open the file, take a buffer of its size, one ReadFile into it, close. The
// buffer is fresh memory, as the list's store is; `touched` reuses memory already written to,
// which leaves out the cost of bringing 20 MB of new memory into the process.
double PlainReadMs(const std::string& path, size_t size, char* touched = nullptr) {
    double start = NowMs();
    std::unique_ptr<char[]> fresh(touched == nullptr ? new char[size + 1] : nullptr);
    char* buffer = touched != nullptr ? touched : fresh.get();
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD got = 0;
    ReadFile(file, buffer, static_cast<DWORD>(size + 1), &got, nullptr);
    CloseHandle(file);
    double ms = NowMs() - start;
    if (got != size) std::printf("plain read got %lu of %u bytes\n", got, static_cast<unsigned>(size));
    return ms;
}

}  // namespace

int main() {
    const unsigned kLines = 1000000;
    const std::string path = TempFilePath("parvalisk-bench-list");
    const size_t size = WriteListFile(path, kLines);
    std::printf("list file: %u lines, %.1f MB\n", kLines, size / 1048576.0);

    // The main window's list commands, on the loaded window of a throwaway tree.
    BenchWindow bench("list", "");
    MainWindow& form = *bench.form;
    PlainReadMs(path, size);  // the file is in the cache for both measurements

    const SIZE_T baseline = MemoryNow().WorkingSetSize;
    const SIZE_T baselineCommit = MemoryNow().PagefileUsage;
    double loadMs = 1e9;
    size_t entries = 0;
    for (int run = 0; run < 3; ++run) {
        MainWindowView::ClearList(form);
        double start = NowMs();
        MainWindowView::LoadListFile(form, path);
        bench.Paint();
        loadMs = std::min(loadMs, NowMs() - start);
        entries = MainWindowView::List(form).Count();
    }
    PROCESS_MEMORY_COUNTERS after = MemoryNow();
    double peakRatio = static_cast<double>(after.PeakWorkingSetSize - baseline) / static_cast<double>(size);
    double commitRatio =
        static_cast<double>(after.PeakPagefileUsage - baselineCommit) / static_cast<double>(size);

    // The view afterwards: to the last row, Delete of the first entry, then Clear List.
    double start = NowMs();
    ListView_EnsureVisible(MainWindowView::List(form).hwnd, static_cast<int>(entries - 1), FALSE);
    bench.Paint();
    double scrollMs = NowMs() - start;
    ListView_SetItemState(MainWindowView::List(form).hwnd, 0, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    start = NowMs();
    SendMessageA(MainWindowView::List(form).hwnd, WM_KEYDOWN, VK_DELETE,
                 0);  // the list tells its window of the key
    bench.Paint();
    double deleteMs = NowMs() - start;
    start = NowMs();
    MainWindowView::ClearList(form);
    bench.Paint();
    double clearMs = NowMs() - start;

    double readMs = 1e9, touchedReadMs = 1e9;
    for (int run = 0; run < 3; ++run) readMs = std::min(readMs, PlainReadMs(path, size));
    std::vector<char> touched(size + 1, 1);
    for (int run = 0; run < 3; ++run)
        touchedReadMs = std::min(touchedReadMs, PlainReadMs(path, size, touched.data()));
    DeleteFileA(path.c_str());

    double ratio = loadMs / std::max(readMs, 0.001);
    std::printf("entries loaded: %u (expected %u)\n", static_cast<unsigned>(entries), kLines);
    std::printf("plain ReadFile into a new buffer: %.1f ms\n", readMs);
    std::printf("(ReadFile into memory already written to: %.1f ms; ratio to that %.2f)\n", touchedReadMs,
                loadMs / std::max(touchedReadMs, 0.001));
    std::printf("load into the list: %.1f ms (limit 2000 ms)\n", loadMs);
    std::printf("peak working set added: %.1f MB = %.2f x file size (limit 6)\n",
                (after.PeakWorkingSetSize - baseline) / 1048576.0, peakRatio);
    std::printf("peak committed memory added: %.1f MB = %.2f x file size\n",
                (after.PeakPagefileUsage - baselineCommit) / 1048576.0, commitRatio);
    std::printf("afterwards: scroll to the end %.1f ms, Delete %.1f ms, Clear List %.1f ms\n", scrollMs,
                deleteMs, clearMs);
    bool ok = entries == kLines && loadMs <= 2000 && peakRatio <= 6 && ratio <= 10;
    std::printf("list_file_load: ratio %.2f (limit 10)\n", ratio);
    return ok ? 0 : 1;
}
