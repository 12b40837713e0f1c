#include "ServiceControl.h"

#include "Handles.h"

bool WaitForServiceState(SC_HANDLE service, DWORD state, DWORD waitMs) {
    const ULONGLONG end = GetTickCount64() + waitMs;
    for (;;) {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == state) return true;
        if (GetTickCount64() >= end) {
            SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
            return false;
        }
        Sleep(50);
    }
}

std::optional<DWORD> ServiceProcessId(const char* name) {
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return std::nullopt;
    UniqueServiceHandle service(OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS));
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!service || !QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                                          reinterpret_cast<BYTE*>(&status), sizeof status, &needed))
        return std::nullopt;
    if (status.dwCurrentState == SERVICE_STOPPED || status.dwProcessId == 0) return std::nullopt;
    return status.dwProcessId;
}

bool ServiceInstalled(const char* name) {
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return true;
    UniqueServiceHandle service(OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS));
    return service || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}
