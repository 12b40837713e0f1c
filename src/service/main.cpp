// ParvaliskService: the service that does Parvalisk's privileged work for the program, so the
// program needs no elevation. The service manager starts it; "/install" and "/uninstall" put it
// in and take it out of the service manager (the setup and the uninstaller run them).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BlockService.h"
#include "DataFolderGuard.h"
#include "EventLog.h"
#include "Failure.h"
#include "Handles.h"
#include "PipeSecurity.h"
#include "ProgramPaths.h"
#include "ServiceInstall.h"
#include "ServicePipeClient.h"
#include "ServiceRun.h"
#include "UserTexts.h"

namespace {

// How long the service manager is told a start or a stop may take.
constexpr DWORD kPendingWaitHintMs = 3000;

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
HANDLE clockChangedEvent = nullptr;
// Advanced by the service's thread and by the control handler's.
std::atomic<DWORD> checkPoint{0};

void SetState(DWORD state, DWORD exitCode) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    // The clock's changes and the resume from sleep make the schedule be looked at again at once.
    status.dwControlsAccepted = state == SERVICE_RUNNING
                                    ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN |
                                          SERVICE_ACCEPT_TIMECHANGE | SERVICE_ACCEPT_POWEREVENT
                                    : 0;
    status.dwWin32ExitCode = exitCode;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? ++checkPoint : 0;
    status.dwWaitHint = pending ? kPendingWaitHintMs : 0;
    SetServiceStatus(statusHandle, &status);
}

class ManagerStatus final : public ServiceStatusReport {
  public:
    void Report(DWORD state, DWORD exitCode) override { SetState(state, exitCode); }
};

DWORD WINAPI OnControl(DWORD control, DWORD eventType, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            SetState(SERVICE_STOP_PENDING, NO_ERROR);
            SetEvent(stopEvent);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        case SERVICE_CONTROL_TIMECHANGE:
            SetEvent(clockChangedEvent);
            return NO_ERROR;
        case SERVICE_CONTROL_POWEREVENT:
            if (eventType == PBT_APMRESUMEAUTOMATIC || eventType == PBT_APMRESUMESUSPEND)
                SetEvent(clockChangedEvent);
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// The machine's data folder: C:\ProgramData\Kelmarin\Parvalisk.
std::string MachineDataFolder() {
    const std::string commonAppData = SpecialFolderPath(kCommonAppDataFolder);
    if (commonAppData.empty()) ThrowWin32Error(ERROR_PATH_NOT_FOUND);
    return DataFolderPath(commonAppData);
}

// The signal by which running programs learn of a change. Made by another process first, it is
// used all the same: it only ever tells a program to ask the service again. None when it cannot be
// had: programs then ask at the times the status gives.
UniqueKernelHandle MakeChangeSignal() {
    std::vector<BYTE> descriptor;
    try {
        descriptor = ChangeSignalSecurityDescriptor();
    } catch (const Failure&) {
        return UniqueKernelHandle();
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.data(), FALSE};
    return UniqueKernelHandle(CreateEventA(&attributes, TRUE, FALSE, kChangeSignalName));
}

// Serves the machine's block: the system's hosts file, the machine's data folder, and start with
// Windows for the Parvalisk.exe beside this program.
void ServeBlock(HANDLE stop, ServiceStatusReport& status, EventLog& events) {
    // Taken and held before anything is done in it, and until the service ends.
    HeldDataFolder held(MachineDataFolder(), SystemOwnership(),
                        [&](const std::string& folder, const std::string& aside) {
                            events.Write(EVENTLOG_WARNING_TYPE, ServiceEvent::FolderSetAside,
                                         FolderSetAsideEventText(folder, aside));
                        });
    const std::string& dataFolder = held.Path();
    const std::string hostsPath = SystemHostsFilePath();
    DirectBlocker blocker(BlockingPlace{hostsPath, dataFolder, &SystemOwnership(), false, &held});
    StartWithWindowsPlace startWithWindows;
    startWithWindows.runKeyPath = kRunKeyPath;
    startWithWindows.dataFolder = dataFolder;
    startWithWindows.programPath = ProgramFolderFile(kProgramFileName);
    BlockServiceParts parts{blocker, startWithWindows, hostsPath, BlockedEntriesPath(dataFolder), events};
    parts.folder = &held;
    parts.stop = stop;
    UniqueKernelHandle clockChanged(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    clockChangedEvent = clockChanged.get();
    ScopeExit forgetClockChanged([] { clockChangedEvent = nullptr; });
    parts.clockChanged = clockChanged.get();
    UniqueKernelHandle changeSignal = MakeChangeSignal();
    parts.changeSignal = changeSignal.get();
    BlockService service(parts);
    RunService(
        {kServicePipeName,
         stop,
         status,
         events,
         [&](std::string_view request, CallerGroups& caller) { return service.Answer(request, caller); },
         {},
         [&] { service.Resume(); },
         &service});
}

void WINAPI ServiceMain(DWORD, char**) {
    statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, OnControl, nullptr);
    if (statusHandle == nullptr) return;
    UniqueKernelHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!stop) {
        SetState(SERVICE_STOPPED, GetLastError());
        return;
    }
    stopEvent = stop.get();
    ManagerStatus status;
    SystemEventLog events;
    try {
        ServeBlock(stop.get(), status, events);
    } catch (const Failure& failure) {
        SetState(SERVICE_STOPPED, failure.code() == ERROR_SUCCESS ? ERROR_GEN_FAILURE : failure.code());
    } catch (...) {
        SetState(SERVICE_STOPPED, ERROR_GEN_FAILURE);
    }
}

std::string OwnPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        ThrowWin32Error(length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
    return std::string(path, length);
}

int RunCommand(const char* command) {
    try {
        if (std::strcmp(command, "/install") == 0) {
            InstallService(OwnPath());
            // The data folder is made here, by the setup, as the service's own: a folder that
            // another account made first is set aside, and said so in the setup's log and the
            // event log.
            SystemEventLog events;
            TakeDataFolders(MachineDataFolder(), SystemOwnership(),
                            [&](const std::string& folder, const std::string& aside) {
                                const std::string text = FolderSetAsideEventText(folder, aside);
                                std::printf("%s\n", text.c_str());
                                events.Write(EVENTLOG_WARNING_TYPE, ServiceEvent::FolderSetAside, text);
                            });
        } else {
            UninstallService();
        }
        return 0;
    } catch (const Failure& failure) {
        // Read by whoever runs the setup by hand: the line that failed goes with the system's text.
        std::fprintf(stderr, "%s: %s (%s)\n", command, failure.what(), failure.Where().c_str());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "/install") == 0 || std::strcmp(argv[1], "/uninstall") == 0))
        return RunCommand(argv[1]);

    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherA(table)) return 0;
    if (GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        std::fputs(kServiceStartedByHand, stdout);
        return 2;
    }
    std::fprintf(stderr, "ParvaliskService: %s\n", SystemErrorText(GetLastError()).c_str());
    return 1;
}
