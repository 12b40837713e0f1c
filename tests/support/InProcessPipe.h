#pragma once
// How a client reaches a pipe served in this process: the test's own process stands where the
// service manager's service would, so the client's check of who serves the pipe finds the service.

#include <windows.h>

#include <string>
#include <utility>

#include "ServicePipeClient.h"

inline ServicePipeOptions InProcessPipeOptions(std::string pipeName) {
    ServicePipeOptions options;
    options.pipeName = std::move(pipeName);
    options.serviceProcessId = [] { return std::optional<DWORD>(GetCurrentProcessId()); };
    return options;
}
