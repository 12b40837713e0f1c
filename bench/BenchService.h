#pragma once
// The blocking service's run in-process for the benchmarks: the service's own block, pipe server
// and watch, on a pipe of its own name over a throwaway tree (a hosts file and a data folder), so
// the real hosts file is never touched. Requests go through the real pipe as the program sends
// them; the event log's entries are kept with the moment each was written.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ServiceProtocol.h"
#include "support/RemoveTree.h"
#include "support/ServiceOnTree.h"

class BenchService final : ServiceStatusReport, EventLog {
  public:
    using Clock = std::chrono::steady_clock;

    // `name` tells the tree apart; the hosts file starts with `hosts`. `clock`: the schedule's
    // (the machine's when null).
    BenchService(const std::string& name, const std::string& hosts, ScheduleClock* clock = nullptr)
        : root_(TreeRoot(name)),
          place_{root_ + "\\etc\\hosts", root_ + "\\data"},
          pipeName_("\\\\.\\pipe\\ParvaliskBench-" + name + "-" + std::to_string(GetCurrentProcessId())) {
        for (const char* sub : {"", "\\etc", "\\data"}) CreateDirectoryA((root_ + sub).c_str(), nullptr);
        WriteAll(place_.hostsPath, hosts);
        // Started once the tree stands.
        service_.emplace(place_, pipeName_, static_cast<ServiceStatusReport&>(*this),
                         static_cast<EventLog&>(*this), std::function<ULONGLONG()>{}, clock);
    }
    ~BenchService() {
        service_.reset();
        RemoveTree(root_);
    }
    BenchService(const BenchService&) = delete;
    BenchService& operator=(const BenchService&) = delete;

    // Sends one request (waiting while the run opens its pipe); the answer, or one of kind
    // MalformedAnswer when none came.
    ServiceAnswer Ask(const std::string& request) const {
        const ServiceExchange exchange = service_->Exchange(request, 60000);
        ServiceAnswer answer;
        if (exchange.outcome != ServiceExchange::Outcome::Answered ||
            DecodeAnswer(exchange.answer, answer) != MessageProblem::None)
            answer.kind = MessageKind::MalformedAnswer;
        return answer;
    }

    // The moments at which the service logged a put-back, in order.
    std::vector<Clock::time_point> PutBacks() {
        std::lock_guard lock(mutex_);
        return putBacks_;
    }

    // The moments at which the service logged a change made by the clock, in order.
    std::vector<Clock::time_point> ScheduledChanges() {
        std::lock_guard lock(mutex_);
        return scheduledChanges_;
    }
    // The schedule's clock moved: the service looks at it again, as at its timer's wake.
    void ClockChanged() const { service_->ClockChanged(); }

    const std::string& HostsPath() const { return place_.hostsPath; }
    // How the program reaches this service (ServiceBlocker's options).
    ServicePipeOptions PipeOptions() const {
        ServicePipeOptions options = InProcessPipeOptions(pipeName_);
        options.timeoutMs = 60000;
        return options;
    }

    static void WriteAll(const std::string& path, const std::string& text) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }

  private:
    static std::string TreeRoot(const std::string& name) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        std::string root = std::string(temp) + "parvalisk-bench-service-" + name + "-" +
                           std::to_string(GetCurrentProcessId());
        RemoveTree(root);
        return root;
    }
    void Report(DWORD, DWORD) override {}
    void Write(WORD, ServiceEvent event, const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (event == ServiceEvent::BlockPutBack)
            putBacks_.push_back(Clock::now());
        else if (event == ServiceEvent::ScheduledStart || event == ServiceEvent::ScheduledLift)
            scheduledChanges_.push_back(Clock::now());
        else
            std::fprintf(stderr, "service event %lu: %s\n", static_cast<unsigned long>(event), text.c_str());
    }

    std::string root_;
    BlockingPlace place_;
    std::string pipeName_;
    std::mutex mutex_;
    std::vector<Clock::time_point> putBacks_;
    std::vector<Clock::time_point> scheduledChanges_;
    std::optional<ServiceOnTree> service_;  // last: it stops before what it reports to goes
};

// The best time of what a service benchmark measures and of what it is held against, for one
// length of list, and whether every step did what it should.
struct ServiceBenchFigures {
    double measured = 1e9;  // seconds
    double against = 1e9;
    bool sound = true;
};

// Runs `measure` on lists of 1,000 and 1,000,000 made-up sites (40 and 5 rounds), prints a line for
// each and the benchmark's ratio line; the exit code: 0 when every step was sound and the worse
// ratio is within `limit`.
template <class Measure>
int RunServiceBench(const char* name, double limit, const char* measuredWhat, const char* againstWhat,
                    Measure measure) {
    double worst = 0;
    bool sound = true;
    for (size_t count : {size_t{1000}, size_t{1000000}}) {
        std::vector<std::string> list;
        list.reserve(count);
        for (size_t i = 0; i < count; ++i) list.push_back("site" + std::to_string(100000 + i) + ".example");
        const ServiceBenchFigures figures = measure(list, count > 10000 ? 5 : 40);
        const double ratio = figures.measured / figures.against;
        worst = std::max(worst, ratio);
        sound &= figures.sound;
        std::printf("%zu entries: best %s %.1f ms, %s %.1f ms, ratio %.2f%s\n", count, measuredWhat,
                    figures.measured * 1000, againstWhat, figures.against * 1000, ratio,
                    figures.sound ? "" : "  ** WRONG RESULT **");
    }
    std::printf("%s: ratio %.2f (limit %.1f)\n", name, worst, limit);
    return sound && worst <= limit ? 0 : 1;
}
