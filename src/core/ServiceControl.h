#pragma once
// Waiting on a service the service manager runs, for the parts that stop it (its uninstall and
// the restore program).

#include <windows.h>

// Waits up to waitMs for the service to reach `state` (SERVICE_STOPPED, say), looking every 50 ms.
// False when its status cannot be read (GetLastError tells why) or it is not there in time
// (ERROR_SERVICE_REQUEST_TIMEOUT).
bool WaitForServiceState(SC_HANDLE service, DWORD state, DWORD waitMs);
