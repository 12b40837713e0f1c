// A block that another program removed, put back by the watch on the hosts folder: the time from
// the change to the lines being back, against the time of a start's write on the same list (1,000
// and 1,000,000 entries), both through the main window's real procedures and message loop; and
// the idle cost of the running program while it blocks: its processor time over 10 seconds with
// no change. Everything runs on temporary trees, never on the real hosts file.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchWindow.h"
#include "MainWindow.h"
#include "MessagePump.h"
#include "StartupTiming.h"
#include "support/RemoveTree.h"

using namespace startup_timing;

namespace {

constexpr double kRatioLimit = 3.0;
constexpr double kIdleLimitMs = 50;  // below the scheduler's tick for a few wake-ups: nothing

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void WriteAll(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

struct Timing {
    double start = -1;
    double putBack = -1;
};

Timing Measure(size_t entries) {
    const std::string clean = "# the machine's hosts\r\n127.0.0.1       localhost\r\n";
    Timing timing;
    {
        BenchWindow bench("putback", clean);
        bench.HideInTray();
        CountingAnswers& answers = bench.answers;
        MainWindow& window = *bench.form;
        const std::string& hostsPath = bench.hostsPath;
        std::vector<std::string> names;
        names.reserve(entries);
        for (size_t i = 0; i < entries; ++i) names.push_back("site" + std::to_string(i) + ".example");
        bench.Append(names);

        auto begin = std::chrono::steady_clock::now();
        window.SetBlocking(true);
        window.StartBlocking(false);
        timing.start = Seconds(std::chrono::steady_clock::now() - begin);
        // The start's own write is heard first; it changes nothing.
        int exitCode = 0;
        for (int i = 0; i < 5; ++i) WaitForEvents(100, exitCode);

        const int flushesBefore = answers.flushes;
        begin = std::chrono::steady_clock::now();
        WriteAll(hostsPath, clean);
        while (answers.flushes == flushesBefore && Seconds(std::chrono::steady_clock::now() - begin) < 60)
            WaitForEvents(1000, exitCode);
        if (answers.flushes > flushesBefore)
            timing.putBack = Seconds(std::chrono::steady_clock::now() - begin);
    }
    return timing;
}

double ProcessorMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
    auto value = [](FILETIME t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(value(kernel) + value(user)) / 10000.0;
}

// The built program, blocking (resumed at its start), left alone for 10 seconds.
double IdleProcessorMs() {
    TemporaryWindir windir;
    ClearProgramState();
    SettingsStore settings;
    settings.Save(kKeyBlockOnStart, "1");
    settings.Save(kKeyBlockedWebsites, "idle.example||My_Separator||");
    std::string exe = ProgramFolder() + "\\Parvalisk.exe";
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    double idle = -1;
    if (CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        Sleep(8000);  // start-up, the resumed block and the tray balloon's wait are over
        double before = ProcessorMs(process.hProcess);
        Sleep(10000);
        double after = ProcessorMs(process.hProcess);
        if (before >= 0 && after >= 0 && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            idle = after - before;
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    ClearProgramState();
    return idle;
}

}  // namespace

int main() {
    double worst = 0;
    bool complete = true;
    for (size_t entries : {size_t{1000}, size_t{1000000}}) {
        Timing timing = Measure(entries);
        if (timing.putBack < 0 || timing.start <= 0) {
            std::printf("%zu entries: the block was not put back\n", entries);
            complete = false;
            continue;
        }
        double ratio = timing.putBack / timing.start;
        worst = std::max(worst, ratio);
        std::printf("%zu entries: start %.1f ms, change to lines back %.1f ms, ratio %.2f\n", entries,
                    timing.start * 1000, timing.putBack * 1000, ratio);
    }
    double idle = IdleProcessorMs();
    std::printf("blocking, no change for 10 s: %.1f ms of processor time\n", idle);
    if (!complete) worst = 999;
    std::printf("block_put_back: ratio %.2f (limit %.0f)\n", worst, kRatioLimit);
    return worst <= kRatioLimit && idle >= 0 && idle <= kIdleLimitMs ? 0 : 1;
}
