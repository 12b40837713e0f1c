#pragma once
// A pipe server of the service's kind, serving a pipe of its own name on a thread of the test, and
// stopped (and every instance closed) when the test ends.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "PipeServer.h"
#include "ServiceRun.h"
#include "support/InProcessPipe.h"

// A pipe name no other test (or running service) uses.
inline std::string TestPipeName() {
    static std::atomic<int> counter{0};
    return "\\\\.\\pipe\\ParvaliskTest-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
}

class ServedPipe {
  public:
    // `name`: a pipe name of the test's own (a server started again on the same name).
    explicit ServedPipe(RequestHandler handler, PipeServerLimits limits = {},
                        ImpersonationCalls* calls = nullptr, std::string name = TestPipeName())
        : name_(std::move(name)),
          server_(name_, limits, calls),
          stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        DWORD error = 0;
        opened_ = server_.Open(error) == PipeServer::OpenOutcome::Opened;
        EXPECT_TRUE(opened_) << "the test pipe could not be made, error " << error;
        if (!opened_) return;
        thread_ = std::thread([this, handler = std::move(handler)] {
            try {
                server_.Serve(stop_.get(), handler);
            } catch (const std::exception& failure) {
                serveFailure_ = failure.what();
            }
        });
    }
    ~ServedPipe() { EXPECT_EQ(Stop(), "") << "serving ended with a failure"; }

    // Sets the stop event and waits for the server to close every instance; answers the failure
    // that ended serving ("" for none).
    std::string Stop() {
        SetEvent(stop_.get());
        if (thread_.joinable()) thread_.join();
        return std::exchange(serveFailure_, "");
    }

    const std::string& Name() const { return name_; }

  private:
    std::string name_;
    PipeServer server_;
    UniqueKernelHandle stop_;
    bool opened_ = false;
    std::thread thread_;
    std::string serveFailure_;
};

// Records what a run reports to the service manager and writes to the event log. Read the members
// once the run has ended; while it runs, Entries() answers what was written so far.
struct RecordedRun final : ServiceStatusReport, EventLog {
    std::vector<std::pair<DWORD, DWORD>> states;  // state, exit code
    std::vector<std::pair<ServiceEvent, std::string>> entries;
    void Report(DWORD state, DWORD exitCode) override {
        std::lock_guard lock(mutex_);
        states.push_back({state, exitCode});
    }
    void Write(WORD, ServiceEvent event, const std::string& text) override {
        std::lock_guard lock(mutex_);
        entries.push_back({event, text});
    }
    std::vector<std::pair<ServiceEvent, std::string>> Entries() {
        std::lock_guard lock(mutex_);
        return entries;
    }
    std::vector<std::pair<DWORD, DWORD>> States() {
        std::lock_guard lock(mutex_);
        return states;
    }

  private:
    std::mutex mutex_;
};
