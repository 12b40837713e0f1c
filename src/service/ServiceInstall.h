#pragma once
// The service's place in the service manager: made with its name, account, start type, failure
// actions and description, and removed again. The setup and the uninstaller run these through
// "ParvaliskService.exe /install" and "/uninstall".

#include <windows.h>

#include <string>

#include "UserTexts.h"

// How long the service manager waits before each restart after a failure, and how long the count
// of failures lasts.
inline constexpr DWORD kRestartDelaysMs[] = {1000, 5000, 30000};
inline constexpr DWORD kFailureCountResetSeconds = 24 * 60 * 60;

// Where the Application log keeps the registration of the service's event source.
inline constexpr char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Parvalisk";

// Installs the service to run programPath as LocalSystem, started automatically at boot and
// restarted after a failure, and registers its event source with programPath as the message
// file. A service of the name that is already installed is brought to these settings instead. A
// new install that cannot be completed is taken back. Throws Failure.
void InstallService(const std::string& programPath);

// Stops the service (waiting up to stopWaitMs for it to stop) and deletes it, then removes the
// registration of its event source. False when no service of the name is installed (the
// registration is removed all the same). Throws Failure.
bool UninstallService(DWORD stopWaitMs = 10000);
