#pragma once
// How a client reaches a pipe served in this process: the test's own process stands where the
// service manager's service would, so the client's check of who serves the pipe finds the service.

#include <windows.h>

#include <string>
#include <utility>

#include "ServicePipeClient.h"

// The change signal of the service served on `pipeName` (the pipe name's last part, as an event
// of this session).
inline std::string InProcessChangeSignalName(const std::string& pipeName) {
    return "Local\\Changed-" + pipeName.substr(pipeName.rfind('\\') + 1);
}

inline ServicePipeOptions InProcessPipeOptions(std::string pipeName) {
    ServicePipeOptions options;
    options.changeSignalName = InProcessChangeSignalName(pipeName);
    options.pipeName = std::move(pipeName);
    options.serviceProcessId = [] { return std::optional<DWORD>(GetCurrentProcessId()); };
    return options;
}
