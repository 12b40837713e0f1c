// StartBlocking with a list of 1,000,000 host names (10 to 30 characters), against CopyFileA of
// a file of the size StartBlocking writes, measured in the same run; and the peak memory the
// start needs against the size of the file it writes. Runs on a temporary tree whose hosts file
// the main window is given, so the real hosts file is never touched.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "BenchWindow.h"
#include "MainWindow.h"
#include "support/BlockedHostsSize.h"
#include "FileHelpers.h"
#include "HostsText.h"
#include "Prompts.h"
#include "support/MainWindowView.h"

namespace {

constexpr size_t kEntries = 1000000;
constexpr int kRounds = 5;
constexpr double kTimeLimit = 3.0;
constexpr double kMemoryLimit = 4.0;

// No box may wait for a click during the measurement: each one is printed and counted.

// Counts what it is given and keeps nothing: the cost of making the text, without the file.
struct CountingSink : ContentSink {
    void Put(const char*, size_t size) override { total += size; }
    size_t total = 0;
};

std::vector<std::string> HostNames(size_t count) {
    std::mt19937 random(20210831);
    std::uniform_int_distribution<int> length(10, 30);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789-";
    std::uniform_int_distribution<int> letter(0, sizeof kLetters - 2);
    std::vector<std::string> names;
    names.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        std::string name(static_cast<size_t>(length(random)), 'x');
        for (size_t k = 0; k + 4 < name.size(); ++k) name[k] = kLetters[letter(random)];
        name.replace(name.size() - 4, 4, ".com");
        names.push_back(std::move(name));
    }
    return names;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

PROCESS_MEMORY_COUNTERS Memory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main() {
    const std::string cleanHosts =
        "# Hosts file of the benchmark\r\n127.0.0.1       localhost\r\n::1             localhost\r\n";
    BenchWindow bench("hosts", cleanHosts);
    bench.HideInTray();
    PrintedPrompts& prompts = bench.prompts;
    MainWindow& form = *bench.form;
    const std::string& root = bench.root;
    const std::string& hostsPath = bench.hostsPath;
    const std::string backupPath = MainWindowView::State(form).dataFolder + "\\hosts";
    CreateDirectoryA((root + "\\copies").c_str(), nullptr);
    const std::string copyPath = root + "\\copies\\hosts-copy";
    bench.Append(HostNames(kEntries));
    const size_t expectedSize = BlockedHostsSize(cleanHosts.size(), MainWindowView::List(form));

    double bestBuild = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        CountingSink sink;
        auto started = std::chrono::steady_clock::now();
        PutBlockedHosts(sink, cleanHosts,
                        [&](BlockLineWriter& lines) { lines.AddAll(MainWindowView::List(form)); });
        bestBuild = std::min(bestBuild, Seconds(std::chrono::steady_clock::now() - started));
    }

    double bestStart = 1e9, bestCopy = 1e9;
    long long written = 0;
    SIZE_T peakWorkingSetDelta = 0, peakPrivateDelta = 0, peakWorkingSet = 0;
    bool sound = true;
    for (int round = 0; round < kRounds; ++round) {
        DeleteFileA(backupPath.c_str());
        DeleteFileA(copyPath.c_str());
        if (!WriteFileText(hostsPath, cleanHosts)) sound = false;

        PROCESS_MEMORY_COUNTERS before = Memory();
        auto started = std::chrono::steady_clock::now();
        MainWindowView::StartBlocking(form, false);
        double startSeconds = Seconds(std::chrono::steady_clock::now() - started);
        PROCESS_MEMORY_COUNTERS after = Memory();
        if (round == 0) {
            peakWorkingSetDelta = after.PeakWorkingSetSize > before.WorkingSetSize
                                      ? after.PeakWorkingSetSize - before.WorkingSetSize
                                      : 0;
            peakPrivateDelta = after.PeakPagefileUsage > before.PagefileUsage
                                   ? after.PeakPagefileUsage - before.PagefileUsage
                                   : 0;
            peakWorkingSet = after.PeakWorkingSetSize;
            std::printf(
                "memory before start: working set %.1f MB (peak so far %.1f MB), private %.1f MB (peak so "
                "far %.1f MB)\n",
                before.WorkingSetSize / 1048576.0, before.PeakWorkingSetSize / 1048576.0,
                before.PagefileUsage / 1048576.0, before.PeakPagefileUsage / 1048576.0);
        }
        written = FileSize(hostsPath);
        if (written != static_cast<long long>(expectedSize) || ReadFileText(backupPath) != cleanHosts)
            sound = false;

        started = std::chrono::steady_clock::now();
        BOOL copied = CopyFileA(hostsPath.c_str(), copyPath.c_str(), FALSE);
        double copySeconds = Seconds(std::chrono::steady_clock::now() - started);
        if (!copied || FileSize(copyPath) != written) sound = false;
        // For comparison only: the flush to the disk that the hosts write makes and CopyFileA
        // does not.
        started = std::chrono::steady_clock::now();
        HANDLE copy = CreateFileA(copyPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (copy != INVALID_HANDLE_VALUE) {
            FlushFileBuffers(copy);
            CloseHandle(copy);
        }
        double flushSeconds = Seconds(std::chrono::steady_clock::now() - started);

        // Lifted again, so the next round starts on the clean file with no watch to wake.
        MainWindowView::StopBlocking(form, false);
        if (ReadFileText(hostsPath) != cleanHosts) sound = false;

        std::printf(
            "round %d: StartBlocking %.3f s, CopyFileA %.3f s (flushing the copy afterwards %.3f s)\n",
            round + 1, startSeconds, copySeconds, flushSeconds);
        bestStart = std::min(bestStart, startSeconds);
        bestCopy = std::min(bestCopy, copySeconds);
    }

    const double fileMb = written / 1048576.0;
    const SIZE_T peakDelta = std::max(peakWorkingSetDelta, peakPrivateDelta);
    const double memoryRatio =
        written > 0 ? static_cast<double>(peakDelta) / static_cast<double>(written) : 0;
    const double ratio = bestCopy > 0 ? bestStart / bestCopy : 0;
    std::printf("entries: %zu, hosts file written: %lld bytes (%.1f MB)%s\n", kEntries, written, fileMb,
                sound ? "" : "  ** WRONG RESULT **");
    if (prompts.shown > 0) std::printf("boxes shown during the run: %d  ** UNEXPECTED **\n", prompts.shown);
    std::printf("best of %d: StartBlocking %.3f s, CopyFileA of the same size %.3f s\n", kRounds, bestStart,
                bestCopy);
    std::printf("of which making the text alone, without the file: %.3f s\n", bestBuild);
    std::printf(
        "peak memory during StartBlocking: working set +%.1f MB, private +%.1f MB; %.2f x the file (limit "
        "%.0f)\n",
        peakWorkingSetDelta / 1048576.0, peakPrivateDelta / 1048576.0, memoryRatio, kMemoryLimit);
    std::printf("whole process at its peak, the million-entry list included: %.1f MB (%.2f x the file)\n",
                peakWorkingSet / 1048576.0,
                written > 0 ? static_cast<double>(peakWorkingSet) / written : 0.0);
    std::printf("hosts_blocking: ratio %.2f (limit %.0f)\n", ratio, kTimeLimit);
    return sound && prompts.shown == 0 && ratio <= kTimeLimit && memoryRatio <= kMemoryLimit ? 0 : 1;
}
