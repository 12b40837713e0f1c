#include "ServiceInstall.h"

#include "Failure.h"
#include "Handles.h"
#include "ProgramPaths.h"
#include "ServiceControl.h"

namespace {

UniqueServiceHandle OpenManager(DWORD access) {
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, access));
    CheckWin32(manager);
    return manager;
}

// The account the service runs as.
constexpr char kLocalSystem[] = "LocalSystem";

void Configure(SC_HANDLE service) {
    SERVICE_DESCRIPTIONA description{const_cast<char*>(kServiceDescription)};
    CheckWin32(ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &description));

    SC_ACTION actions[std::size(kRestartDelaysMs)];
    for (std::size_t i = 0; i < std::size(kRestartDelaysMs); ++i)
        actions[i] = {SC_ACTION_RESTART, kRestartDelaysMs[i]};
    SERVICE_FAILURE_ACTIONSA failure{};
    failure.dwResetPeriod = kFailureCountResetSeconds;
    failure.cActions = static_cast<DWORD>(std::size(actions));
    failure.lpsaActions = actions;
    CheckWin32(ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure));

    // The restarts also follow a stop that reports an error, not only a crash. A service manager
    // that does not know this switch (Windows before Vista answers ERROR_INVALID_LEVEL, Wine
    // ERROR_INVALID_PARAMETER) still restarts the service after a crash.
    SERVICE_FAILURE_ACTIONS_FLAG onErrorStops{TRUE};
    if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrorStops)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INVALID_LEVEL && error != ERROR_INVALID_PARAMETER) ThrowWin32Error(error);
    }
}

// Brings a service of the name that is already installed (by an older version) to this
// installation's program and settings.
UniqueServiceHandle Reconfigure(SC_HANDLE manager, const std::string& command) {
    UniqueServiceHandle service(
        OpenServiceA(manager, kServiceName, SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG));
    CheckWin32(service);
    CheckWin32(ChangeServiceConfigA(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                    SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, "", kLocalSystem,
                                    "", kServiceDisplayName));
    return service;
}

// The event source "Parvalisk" of the Application log, its messages in the service's program:
// without it Event Viewer puts "The description for Event ID ... cannot be found" before every
// entry.
void RegisterEventMessages(const std::string& programPath) {
    UniqueKey key;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  key.put(), nullptr);
    CheckWin32Status(status);
    status = RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(programPath.c_str()),
                            static_cast<DWORD>(programPath.size() + 1));
    CheckWin32Status(status);
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    status = RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                            sizeof types);
    CheckWin32Status(status);
}

void RemoveEventMessages() {
    const LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEventSourceKey);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        ThrowWin32Error(static_cast<DWORD>(status));
}

}  // namespace

void InstallService(const std::string& programPath) {
    UniqueServiceHandle manager = OpenManager(SC_MANAGER_CREATE_SERVICE);
    // Quoted: a path with a space is otherwise open to a program planted at its first word.
    const std::string command = "\"" + programPath + "\"";
    UniqueServiceHandle service(CreateServiceA(
        manager.get(), kServiceName, kServiceDisplayName,
        SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG | DELETE, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
        SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        if (GetLastError() != ERROR_SERVICE_EXISTS) ThrowWin32Error();
        // An install over an older version keeps its service, now running this program.
        Configure(Reconfigure(manager.get(), command).get());
        RegisterEventMessages(programPath);
        return;
    }
    try {
        Configure(service.get());
        RegisterEventMessages(programPath);
    } catch (const Failure&) {
        // Half a service (no restart after a failure) is not left behind.
        DeleteService(service.get());
        throw;
    }
}

bool UninstallService(DWORD stopWaitMs) {
    UniqueServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
    UniqueServiceHandle service(
        OpenServiceA(manager.get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) ThrowWin32Error();
        RemoveEventMessages();
        return false;
    }
    SERVICE_STATUS status{};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        DWORD error = GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE && error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
            ThrowWin32Error(error);
    }
    CheckWin32(WaitForServiceState(service.get(), SERVICE_STOPPED, stopWaitMs));
    CheckWin32(DeleteService(service.get()));
    RemoveEventMessages();
    return true;
}
