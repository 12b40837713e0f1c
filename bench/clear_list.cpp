// Clear List on a list of a million entries, through the button's own procedure, including the
// list view's update.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "BenchWindow.h"
#include "ListBenchHelpers.h"
#include "support/MainWindowView.h"

int main() {
    const unsigned kLines = 1000000;
    const std::string path = TempFilePath("parvalisk-bench-clear");
    WriteListFile(path, kLines);

    // The main window's list commands, on the loaded window of a throwaway tree.
    BenchWindow bench("clear", "");
    MainWindow& form = *bench.form;
    double clearMs = 1e9;
    size_t before = 0, after = 1;
    for (int run = 0; run < 3; ++run) {
        MainWindowView::LoadListFile(form, path);
        ListView_EnsureVisible(MainWindowView::List(form).hwnd, kLines / 2, FALSE);
        bench.Paint();
        before = MainWindowView::List(form).Count();
        double start = NowMs();
        MainWindowView::ClearList(form);
        bench.Paint();
        clearMs = std::min(clearMs, NowMs() - start);
        after = MainWindowView::List(form).Count() +
                static_cast<size_t>(ListView_GetItemCount(MainWindowView::List(form).hwnd));
    }
    DeleteFileA(path.c_str());

    std::printf("entries before: %u, after: %u\n", static_cast<unsigned>(before),
                static_cast<unsigned>(after));
    std::printf("Clear List: %.2f ms (limit 100 ms)\n", clearMs);
    bool ok = before == kLines && after == 0 && clearMs < 100;
    std::printf("clear_list: ratio %.3f (limit 1)\n", clearMs / 100.0);
    return ok ? 0 : 1;
}
