#pragma once
// The service's run from start to stop, apart from the service manager's calls: it takes the
// pipe, says it is running, serves until told to stop and says it has stopped.

#include <windows.h>

#include <functional>
#include <string>

#include "EventLog.h"
#include "PipeServer.h"

// Where the run reports its state (the service manager, or a test that records it).
struct ServiceStatusReport {
    // state is a SERVICE_* state; exitCode the Win32 error the run ended with (with SERVICE_STOPPED).
    virtual void Report(DWORD state, DWORD exitCode) = 0;

  protected:
    ~ServiceStatusReport() = default;
};

struct ServiceRunParts {
    std::string pipeName;
    HANDLE stopEvent;
    ServiceStatusReport& status;
    EventLog& events;
    RequestHandler handler;
    PipeServerLimits limits{};
    // Done once the pipe is the service's, before it says it is running and serves (the check of
    // a block kept from before); nothing when empty.
    std::function<void()> prepare{};
    ServerWaits* waits = nullptr;  // served between requests, on the same thread
};

// Runs until the stop event is set and answers the exit code it reported with SERVICE_STOPPED:
// NO_ERROR after a stop, ERROR_PIPE_BUSY when another program had made the pipe first (written to
// the event log too: the service then serves nothing), or the error that ended serving.
DWORD RunService(const ServiceRunParts& parts);
