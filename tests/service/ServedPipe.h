#pragma once
// A pipe server of the service's kind, serving a pipe of its own name on a thread of the test, and
// stopped (and every instance closed) when the test ends.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "PipeServer.h"

// A pipe name no other test (or running service) uses.
inline std::string TestPipeName() {
    static std::atomic<int> counter{0};
    return "\\\\.\\pipe\\ParvaliskTest-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
}

class ServedPipe {
  public:
    explicit ServedPipe(RequestHandler handler, PipeServerLimits limits = {})
        : name_(TestPipeName()), server_(name_, limits), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
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
    ~ServedPipe() { Stop(); }

    // Sets the stop event and waits for the server to close every instance; answers how long it
    // took in milliseconds.
    ULONGLONG Stop() {
        const ULONGLONG start = GetTickCount64();
        SetEvent(stop_.get());
        if (thread_.joinable()) thread_.join();
        EXPECT_EQ(serveFailure_, "") << "serving ended with a failure";
        return GetTickCount64() - start;
    }

    const std::string& Name() const { return name_; }

  private:
    std::string name_;
    PipeServer server_;
    UniqueEvent stop_;
    bool opened_ = false;
    std::thread thread_;
    std::string serveFailure_;
};
