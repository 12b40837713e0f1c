#pragma once
// Waiting on a service the service manager runs, for the parts that stop it (its uninstall and
// the restore program), and who the service is, for the parts that ask it.

#include <windows.h>

#include <optional>

// Waits up to waitMs for the service to reach `state` (SERVICE_STOPPED, say), looking every 50 ms.
// False when its status cannot be read (GetLastError tells why) or it is not there in time
// (ERROR_SERVICE_REQUEST_TIMEOUT).
bool WaitForServiceState(SC_HANDLE service, DWORD state, DWORD waitMs);

// The process id the service manager reports for the service `name` while a process of it runs;
// nothing when it is not installed, not running, or the service manager cannot be asked. Any
// user may ask, and only an administrator can change what the service manager runs.
std::optional<DWORD> ServiceProcessId(const char* name);

// Whether the service `name` is installed, running or not. Only a service manager that says it
// has no such service makes this false: one that cannot be asked counts as having it.
bool ServiceInstalled(const char* name);
