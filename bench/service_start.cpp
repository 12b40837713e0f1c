// A start of 1,000 and of 1,000,000 entries through the service, as the program makes it
// (ServiceBlocker: the request made from the list and sent over the pipe, or for the long list
// written into a file the service reads while the service already writes; the service's
// write and its answer), against the same start made directly in this process, each on a
// throwaway tree of its own. Between the starts the block is lifted again the same way.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchService.h"
#include "Blocker.h"
#include "ServiceBlocker.h"
#include "ServiceProtocol.h"
#include "support/RemoveTree.h"

namespace {

constexpr double kLimit = 1.5;
const std::string kClean = "# the machine's hosts\r\n127.0.0.1       localhost\r\n";

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct Figures {
    double direct = 1e9;
    double service = 1e9;
    bool sound = true;
};

Figures Measure(const std::vector<std::string>& list, int rounds) {
    Figures figures;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root =
        std::string(temp) + "parvalisk-bench-direct-" + std::to_string(GetCurrentProcessId());
    RemoveTree(root);
    for (const char* sub : {"", "\\etc", "\\data"}) CreateDirectoryA((root + sub).c_str(), nullptr);
    const BlockingPlace place{root + "\\etc\\hosts", root + "\\data"};
    BenchService::WriteAll(place.hostsPath, kClean);
    DirectBlocker direct(place);
    BenchService service("start", kClean);
    // Were the service not to answer, this would write the direct tree instead, and the service's
    // status below says so.
    ServiceBlocker throughService(direct, service.PipeOptions());
    figures.sound &= service.Ask(EncodeStatusRequest()).kind == MessageKind::StatusAnswer;
    const ListedEntries entries(list);
    CollectedFailures report;
    for (int round = 0; round < rounds; ++round) {
        auto begin = std::chrono::steady_clock::now();
        figures.sound &= direct.Start(entries, true, false, report) == StartOutcome::Written;
        figures.direct = std::min(figures.direct, Seconds(std::chrono::steady_clock::now() - begin));
        figures.sound &= direct.Stop(entries, true, report, [] {}) == StopOutcome::Lifted;

        begin = std::chrono::steady_clock::now();
        figures.sound &= throughService.Start(entries, true, false, report) == StartOutcome::Written;
        figures.service = std::min(figures.service, Seconds(std::chrono::steady_clock::now() - begin));
        const ServiceAnswer status = service.Ask(EncodeStatusRequest());
        figures.sound &= status.status.blocking && status.status.entryCount == list.size();
        // The service's watch hears its own write and looks at the file once: let that pass.
        Sleep(list.size() > 10000 ? 400 : 100);
        const ServiceAnswer stopped = service.Ask(EncodeStopBlockRequest(list));
        figures.sound &= stopped.kind == MessageKind::StopBlockAnswer && stopped.stop == StopOutcome::Lifted;
    }
    figures.sound &= report.failures.empty();
    RemoveTree(root);
    return figures;
}

}  // namespace

int main() {
    return RunServiceBench("service_start", kLimit, "start through the service", "made directly",
                           [](const std::vector<std::string>& list, int rounds) {
                               const Figures figures = Measure(list, rounds);
                               return ServiceBenchFigures{figures.service, figures.direct, figures.sound};
                           });
}
