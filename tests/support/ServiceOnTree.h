#pragma once
// The blocking service's whole run (its block, pipe server and watch) on a thread of this process,
// over the files of a BlockingPlace and on a pipe name of the caller's, so a test or a benchmark
// drives it through the real pipe without the service manager. Started by the constructor and
// stopped by the destructor: a restart is a new one made after another is gone.

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "BlockService.h"
#include "Handles.h"
#include "ProgramPaths.h"
#include "ServicePipeClient.h"
#include "ServiceRun.h"
#include "support/InProcessPipe.h"
#include "support/WaitUntil.h"

class ServiceOnTree {
  public:
    // ticks: the block's clock (the system's tick count when empty). clock: the schedule's (the
    // machine's when null); ClockChanged tells the run it moved.
    ServiceOnTree(const BlockingPlace& place, std::string pipeName, ServiceStatusReport& status,
                  EventLog& events, std::function<ULONGLONG()> ticks = {}, ScheduleClock* clock = nullptr)
        : blocker_(KeepingNoEntries(place)),
          stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          clockChanged_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          changeSignal_(CreateEventA(nullptr, TRUE, FALSE, InProcessChangeSignalName(pipeName).c_str())),
          service_({blocker_, startWithWindows_, place.hostsPath, BlockedEntriesPath(place.dataFolder),
                    events, ticks ? std::move(ticks) : [] { return GetTickCount64(); }, nullptr, stop_.get(),
                    clockChanged_.get(), clock, changeSignal_.get()}),
          pipeName_(std::move(pipeName)) {
        thread_ = std::thread([this, &status, &events] {
            RunService({pipeName_,
                        stop_.get(),
                        status,
                        events,
                        [this](std::string_view request, CallerGroups& caller) {
                            return service_.Answer(request, caller);
                        },
                        {},
                        [this] { service_.Resume(); },
                        &service_});
        });
    }
    ~ServiceOnTree() {
        SetEvent(stop_.get());
        thread_.join();
    }
    ServiceOnTree(const ServiceOnTree&) = delete;
    ServiceOnTree& operator=(const ServiceOnTree&) = delete;

    const std::string& PipeName() const { return pipeName_; }
    // The schedule's clock moved (or jumped): the run looks at the schedule again.
    void ClockChanged() const { SetEvent(clockChanged_.get()); }

    // Sends the request, waiting for the pipe while the run starts, and answers the exchange.
    ServiceExchange Exchange(const std::string& request, DWORD timeoutMs = 10000) const {
        ServicePipeOptions options = InProcessPipeOptions(pipeName_);
        options.timeoutMs = timeoutMs;
        ServiceExchange exchange;
        WaitUntil(
            [&] {
                exchange = ExchangeWithService(request, options);
                return exchange.outcome != ServiceExchange::Outcome::NoService;
            },
            10000, 25);
        return exchange;
    }

  private:
    // As the service's own: its block keeps its entries once the answer is on its way.
    static BlockingPlace KeepingNoEntries(BlockingPlace place) {
        place.keepsEntries = false;
        return place;
    }

    StartWithWindowsPlace startWithWindows_;  // no request here switches start with Windows
    DirectBlocker blocker_;
    UniqueKernelHandle stop_;  // before the service, which is handed it
    UniqueKernelHandle clockChanged_;
    UniqueKernelHandle changeSignal_;  // as the service's, under the pipe's own name
    BlockService service_;
    std::string pipeName_;
    std::thread thread_;
};
