// A block the schedule writes at its edge, against the same block started through the service,
// for 1,000 and 1,000,000 entries, each on a throwaway tree. The edge is timed from its due time
// (the schedule's clock moved onto it, as the service's timer wakes there) to the service's event
// log entry, which it writes once the block is in the hosts file and flushed; the start from the
// program's request to the service's answer. Between rounds the block is lifted again the same way.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchService.h"
#include "Blocker.h"
#include "Schedule.h"
#include "ServiceBlocker.h"
#include "ServiceProtocol.h"
#include "support/RemoveTree.h"

namespace {

constexpr double kLimit = 1.5;
const std::string kClean = "# the machine's hosts\r\n127.0.0.1       localhost\r\n";

// The schedule's clock, moved by the benchmark; its one zone is UTC.
class BenchClock final : public ScheduleClock {
  public:
    std::atomic<UtcTime> now{0};
    UtcTime Now() override { return now; }
    std::optional<TIME_ZONE_INFORMATION> Zone(const std::string& zoneName) override {
        if (zoneName != "Bench Standard Time") return std::nullopt;
        return TIME_ZONE_INFORMATION{};
    }
};

// Monday 7 January 2036 at `minute` past midnight, UTC: the service sets its real timer for the
// next change, which must lie ahead of the machine's clock or it would wake again and again.
UtcTime MondayAt(WORD minute) {
    SYSTEMTIME time{2036, 1, 1, 7, 0, minute, 0, 0};
    FILETIME file;
    SystemTimeToFileTime(&time, &file);
    return (static_cast<UtcTime>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

// Blocked on Mondays from 00:00 to 00:30.
std::string ScheduleText() {
    StoredSchedule schedule;
    schedule.week.Set(0, 0, true);
    schedule.followed = true;
    schedule.zone = "Bench Standard Time";
    return FormatSchedule(schedule);
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct Figures {
    double start = 1e9;
    double edge = 1e9;
    bool sound = true;
    // Notes a step that did not do what it should, told on the error stream once.
    void Check(bool done, const char* step) {
        if (!done && sound) std::fprintf(stderr, "not done: %s\n", step);
        sound &= done;
    }
};

// Moves the clock to `when` and answers how long the service took to log the change it makes.
double ChangeAt(BenchService& service, BenchClock& clock, UtcTime when, Figures& figures) {
    const size_t before = service.ScheduledChanges().size();
    clock.now = when;
    const auto begin = std::chrono::steady_clock::now();
    service.ClockChanged();
    for (int waited = 0; service.ScheduledChanges().size() == before; ++waited) {
        if (waited > 120000) {
            figures.Check(false, "a change at the schedule's edge");
            return 1e9;
        }
        Sleep(1);
    }
    return Seconds(service.ScheduledChanges().back() - begin);
}

Figures Measure(const std::vector<std::string>& list, int rounds) {
    Figures figures;
    BenchClock clock;
    clock.now = MondayAt(0) - 3600 * 10'000'000ULL;  // Sunday 23:00: outside the schedule
    BenchService service("edge", kClean, &clock);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string unused = std::string(temp) + "parvalisk-bench-edge-direct";
    DirectBlocker direct(BlockingPlace{unused + "\\hosts", unused});  // reached only without the service
    ServiceBlocker throughService(direct, service.PipeOptions());
    // Asked first, so the service has opened its pipe before the program's first start.
    figures.Check(service.Ask(EncodeStatusRequest()).kind == MessageKind::StatusAnswer, "the first status");
    const ListedEntries entries(list);
    CollectedFailures report;
    // Each timed step starts on a quiet service, as an edge finds it waiting on its timer; after
    // a write the watch hears it and looks at the file once.
    const auto settle = [&] { Sleep(list.size() > 10000 ? 400 : 100); };
    for (int round = 0; round < rounds; ++round) {
        settle();
        const auto begin = std::chrono::steady_clock::now();
        figures.Check(throughService.Start(entries, true, false, report) == StartOutcome::Written, "a start");
        figures.start = std::min(figures.start, Seconds(std::chrono::steady_clock::now() - begin));
        settle();
        figures.Check(service.Ask(EncodeStopBlockRequest(list)).stop == StopOutcome::Lifted, "a stop");
    }
    figures.Check(service.Ask(EncodeSaveScheduleRequest("", "", ScheduleText(), list)).schedule ==
                      ScheduleOutcome::Saved,
                  "the schedule's save");
    for (int round = 0; round < rounds; ++round) {
        // Each round a week later, so the edge is always ahead of the clock.
        const UtcTime week = round * 7ULL * 24 * 3600 * 10'000'000;
        settle();
        figures.edge = std::min(figures.edge, ChangeAt(service, clock, MondayAt(0) + week, figures));
        figures.Check(service.Ask(EncodeStatusRequest()).status.blocking, "the block at the edge");
        settle();
        ChangeAt(service, clock, MondayAt(30) + week, figures);
        figures.Check(!service.Ask(EncodeStatusRequest()).status.blocking, "the lift at the edge");
    }
    figures.Check(report.failures.empty(), "the starts without a failure");
    RemoveTree(unused);
    return figures;
}

}  // namespace

int main() {
    return RunServiceBench("schedule_edge", kLimit, "block at the edge", "start through the service",
                           [](const std::vector<std::string>& list, int rounds) {
                               const Figures figures = Measure(list, rounds);
                               return ServiceBenchFigures{figures.edge, figures.start, figures.sound};
                           });
}
