// Start-up of Parvalisk with the default list, until its window is visible, against a minimal
// Win32 program that opens one window, both started the same way in the same run.
#include "StartupTiming.h"

using namespace startup_timing;

int main() {
    // Process start-up under Wine varies by tens of milliseconds from one start to the next, for
    // the minimal program as much as for Parvalisk; the median of many starts steadies the ratio.
    const int kRuns = 21;
    const double kLimit = 1.5;
    TemporaryWindir windir;
    const std::string folder = ProgramFolder();
    std::vector<double> minimal, parvalisk;
    // Round 0 warms the file cache and Wine's services for both programs and is not counted; the
    // counted rounds alternate the two, so a busy moment of the machine hits both alike.
    for (int run = -1; run < kRuns; ++run) {
        Sleep(kSettleMilliseconds);
        Started helper =
            StartAndTime(folder + "\\minimal_window.exe", "ParvaliskMinimalWindow", "Minimal Window", 30);
        CloseAndWait(helper, 30000);
        if (run >= 0 && helper.seconds >= 0) minimal.push_back(helper.seconds);

        ClearProgramState();  // no stored list: the default list, nothing to resume
        Sleep(kSettleMilliseconds);
        Started program = StartAndTime(folder + "\\Parvalisk.exe", "ParvaliskMainWindow", "Parvalisk", 30);
        CloseAndWait(program, 30000);
        if (run >= 0 && program.seconds >= 0) parvalisk.push_back(program.seconds);
        if (run < 0) continue;
        std::printf("run %d: minimal window %.1f ms, Parvalisk %.1f ms\n", run + 1, helper.seconds * 1000,
                    program.seconds * 1000);
    }
    ClearProgramState();
    if (minimal.size() != kRuns || parvalisk.size() != kRuns) {
        std::printf("startup: a window never showed\n");
        std::printf("startup: ratio 999 (limit %.1f)\n", kLimit);
        return 1;
    }
    double base = Median(minimal), ours = Median(parvalisk);
    std::printf("fastest: minimal window %.1f ms, Parvalisk %.1f ms\n",
                *std::min_element(minimal.begin(), minimal.end()) * 1000,
                *std::min_element(parvalisk.begin(), parvalisk.end()) * 1000);
    std::printf("median: minimal window %.1f ms, Parvalisk %.1f ms\n", base * 1000, ours * 1000);
    std::printf("Parvalisk's start-up less the minimal window's, median of the runs: %.1f ms\n",
                Median([&] {
                    std::vector<double> differences;
                    for (int run = 0; run < kRuns; ++run)
                        differences.push_back(parvalisk[run] - minimal[run]);
                    return differences;
                }()) *
                    1000);
    const double ratio = ours / base;
    std::printf("startup: ratio %.2f (limit %.1f)\n", ratio, kLimit);
    return ratio <= kLimit ? 0 : 1;
}
