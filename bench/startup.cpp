// Start-up of Parvalisk with the default list, until its window is visible, against a minimal
// Win32 program that opens one window, both started the same way in the same run. A third
// program, a window with the main window's controls and nothing more, shows how much of the
// difference is the window's own face and how much the program's start-up adds.
#include "StartupTiming.h"

using namespace startup_timing;

namespace {

// The median of the per-round differences between two programs' start-ups, in milliseconds.
double MedianDifference(const std::vector<double>& later, const std::vector<double>& earlier) {
    std::vector<double> differences;
    for (size_t run = 0; run < later.size() && run < earlier.size(); ++run)
        differences.push_back(later[run] - earlier[run]);
    return Median(differences) * 1000;
}

// Starts one program on a quiet machine and records its start-up, unless this is the warm-up round.
bool TimeOne(const std::string& exe, const char* windowClass, const char* caption, bool counted,
             std::vector<double>& into) {
    Sleep(kSettleMilliseconds);
    Started started = StartAndTime(exe, windowClass, caption, 30);
    CloseAndWait(started, 30000);
    if (counted && started.seconds >= 0) into.push_back(started.seconds);
    return started.seconds >= 0;
}

}  // namespace

int main() {
    // Process start-up under Wine varies by tens of milliseconds from one start to the next, for
    // the minimal program as much as for Parvalisk; the median of many starts steadies the ratio.
    const int kRuns = 21;
    const double kLimit = 1.5;
    TemporaryWindir windir;
    const std::string folder = ProgramFolder();
    std::vector<double> minimal, controls, parvalisk;
    // Round 0 warms the file cache and Wine's services for the programs and is not counted; the
    // counted rounds alternate them, so a busy moment of the machine hits them alike.
    for (int run = -1; run < kRuns; ++run) {
        const bool counted = run >= 0;
        TimeOne(folder + "\\minimal_window.exe", "ParvaliskMinimalWindow", "Minimal Window", counted,
                minimal);
        TimeOne(folder + "\\controls_window.exe", "ParvaliskControlsWindow", "Controls Window", counted,
                controls);
        ClearProgramState();  // no stored list: the default list, nothing to resume
        TimeOne(folder + "\\Parvalisk.exe", "ParvaliskMainWindow", "Parvalisk", counted, parvalisk);
        if (!counted || parvalisk.size() != static_cast<size_t>(run + 1)) continue;
        std::printf("run %d: minimal window %.1f ms, controls window %.1f ms, Parvalisk %.1f ms\n", run + 1,
                    minimal.back() * 1000, controls.back() * 1000, parvalisk.back() * 1000);
    }
    ClearProgramState();
    if (minimal.size() != kRuns || controls.size() != kRuns || parvalisk.size() != kRuns) {
        std::printf("startup: a window never showed\n");
        std::printf("startup: ratio 999 (limit %.1f)\n", kLimit);
        return 1;
    }
    const double base = Median(minimal), face = Median(controls), ours = Median(parvalisk);
    std::printf("fastest: minimal window %.1f ms, controls window %.1f ms, Parvalisk %.1f ms\n",
                *std::min_element(minimal.begin(), minimal.end()) * 1000,
                *std::min_element(controls.begin(), controls.end()) * 1000,
                *std::min_element(parvalisk.begin(), parvalisk.end()) * 1000);
    std::printf("median: minimal window %.1f ms, controls window %.1f ms, Parvalisk %.1f ms\n", base * 1000,
                face * 1000, ours * 1000);
    std::printf(
        "median of the per-run differences: the controls window's face %.1f ms, Parvalisk's "
        "start-up beyond it %.1f ms\n",
        MedianDifference(controls, minimal), MedianDifference(parvalisk, controls));
    std::printf("the controls window against the minimal window: ratio %.2f\n", face / base);
    const double ratio = ours / base;
    std::printf("startup: ratio %.2f (limit %.1f)\n", ratio, kLimit);
    return ratio <= kLimit ? 0 : 1;
}
