// ParvaliskRestore: the uninstaller runs it before it removes anything. It asks the running
// service to stop blocking (a pipe of the service's name that another process serves is sent
// nothing, and counts as a refusal); without a service it puts the clean hosts file back itself
// from the backup in the data folder (or, with no backup, takes the block lines that were written out of
// it). Then it flushes the resolver cache and clears this installation's start-with-Windows entries. Its exit
// code tells the uninstaller whether it may go on: 0 when the hosts file is clean (or there was nothing to
// put back), 1 when the clean copy could not be put back. Then nothing more is changed, so the backup, the
// only clean copy, stays.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "DnsCache.h"
#include "Failure.h"
#include "FileHelpers.h"
#include "FileOwnership.h"
#include "Handles.h"
#include "HostsBackup.h"
#include "HostsBlocker.h"
#include "ProgramPaths.h"
#include "Registry.h"
#include "ServiceControl.h"
#include "ServicePipeClient.h"
#include "ServiceProtocol.h"
#include "SettingsStore.h"

namespace {

constexpr int kHostsRestored = 0;
constexpr int kHostsNotRestored = 1;

// How long the service is given to stop.
constexpr DWORD kServiceStopWaitMs = 10000;

// The Run entry's data with the double quotes that guard a path with a space taken off.
std::string UnquotedPath(const std::string& data) {
    if (data.size() >= 2 && data.front() == '"' && data.back() == '"') return data.substr(1, data.size() - 2);
    return data;
}

// Deletes the machine's Run value of the program only when it starts this installation's
// Parvalisk.exe: a copy of the program installed elsewhere keeps starting with Windows.
void RemoveOwnRunEntry(const std::string& installFolder) {
    if (installFolder.empty()) return;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKeyPath, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return;
    UniqueKey key(opened);
    DWORD type = 0;
    std::string data;
    try {
        if (!QueryValue(key.get(), kProgramFileName, type, data) || !IsStringType(type)) return;
    } catch (...) {
        return;
    }
    const std::string ownProgram = installFolder + "\\" + kProgramFileName;
    if (lstrcmpiA(UnquotedPath(data).c_str(), ownProgram.c_str()) != 0) return;
    DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kRunKeyAccess, kProgramFileName);
}

// The entries of the block the service wrote, as it keeps them in the data folder: the start
// request that wrote them, read with a request's checks. False when none read.
bool ReadKeptEntries(const std::string& dataFolder, EntryList& entries) {
    ServiceRequest kept;
    try {
        if (DecodeRequest(ReadFileText(BlockedEntriesPath(dataFolder)), kept) != MessageProblem::None)
            return false;
    } catch (const Failure&) {
        return false;
    }
    if (kept.kind != MessageKind::StartBlockRequest || kept.entries.empty()) return false;
    entries = std::move(kept.entries);
    return true;
}

// Puts the clean hosts file back without the service: the backup, or with none the block lines
// that were written taken out.
bool LiftBlockDirectly(const std::string& dataFolder, const std::vector<std::string>& entries) {
    // The backup is deleted only once the hosts file holds it byte for byte: until then it is the
    // only clean copy.
    // A backup whose owner is not trusted was planted: it is moved aside, never copied over the
    // hosts file, as the program's own stop does.
    const std::string backupPath = HostsBackupPath(dataFolder);
    RemovePartialBackup(backupPath);
    if (BackupFileIsPresent(backupPath) && !SetAsideIfUntrusted(backupPath)) {
        if (!IsTrustedOwner(backupPath) || !RestoreBackup(backupPath, SystemHostsFilePath())) return false;
        DeleteFileForced(backupPath);
        return true;
    }
    // No clean copy (deleted while blocking, or the data folder wiped): the block lines that were
    // written come out of the hosts file, and only they: those of the entries the service kept,
    // which hold an entry removed from the list since, or with none kept (a block the program
    // wrote itself) those of the list of the user who runs the uninstall.
    EntryList kept;
    const bool keptRead = ReadKeptEntries(dataFolder, kept);
    return LiftBlockWithoutCleanCopy(SystemHostsFilePath(), [&](BlockLineWriter& lines) {
        if (keptRead)
            lines.AddAll(kept);
        else
            lines.AddAll(entries);
    });
}

// A pipe of the service's name that gives no answer this helper can read: the service is stopped
// first, so that it cannot put a block back over the clean copy, and started again when the clean
// copy could not be put back, since it then still keeps the block.
bool LiftBlockWithServiceStopped(const std::string& dataFolder, const std::vector<std::string>& entries) {
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    UniqueServiceHandle service(
        OpenServiceA(manager.get(), kServiceName, SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service) {
        // Not the service's pipe at all: another program's, which keeps no block.
        return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST && LiftBlockDirectly(dataFolder, entries);
    }
    SERVICE_STATUS status{};
    const bool wasRunning = ControlService(service.get(), SERVICE_CONTROL_STOP, &status) != FALSE;
    if (!wasRunning && GetLastError() != ERROR_SERVICE_NOT_ACTIVE) return false;
    if (!WaitForServiceState(service.get(), SERVICE_STOPPED, kServiceStopWaitMs)) return false;
    if (LiftBlockDirectly(dataFolder, entries)) return true;
    if (wasRunning) StartServiceA(service.get(), 0, nullptr);
    return false;
}

// The running service keeps the block: it is asked to lift it, and for a hosts file whose clean
// copy is gone it takes out the lines of the entries it wrote (the list of the user who uninstalls
// serves only a service that keeps none). Without a service the helper lifts the block itself.
bool LiftBlock(const std::string& dataFolder, const std::vector<std::string>& entries) {
    const ServiceExchange exchange = ExchangeWithService(EncodeStopBlockRequest(entries));
    // Another process serves the service's pipe (the service is down, and any user may make the
    // name): it is sent nothing, and nothing is lifted or removed in the service's place.
    if (exchange.outcome == ServiceExchange::Outcome::Impostor) return false;
    if (exchange.outcome == ServiceExchange::Outcome::NoService)
        return LiftBlockDirectly(dataFolder, entries);
    ServiceAnswer answer;
    if (exchange.outcome != ServiceExchange::Outcome::Answered ||
        DecodeAnswer(exchange.answer, answer) != MessageProblem::None ||
        answer.kind != MessageKind::StopBlockAnswer)
        return LiftBlockWithServiceStopped(dataFolder, entries);
    // A refusal leaves the block and the service as they are.
    return answer.stop == StopOutcome::Lifted;
}

int Restore() {
    const std::string commonData = SpecialFolderPath(kCommonAppDataFolder);
    if (commonData.empty()) return kHostsNotRestored;
    const std::string dataFolder = DataFolderPath(commonData);
    const std::vector<std::string> entries = DecodeWebsiteList(SettingsStore().Get(kKeyBlockedWebsites));
    if (!LiftBlock(dataFolder, entries)) return kHostsNotRestored;
    FlushResolverCache();

    // This helper stands in the installation, beside Parvalisk.exe.
    RemoveOwnRunEntry(ProgramFolder());
    DeleteFileForced(StartWithWindowsMarkerPath(dataFolder));
    // The entries of the lifted block, which a service that lifted it itself removed already: left
    // behind, they would keep the data folder from going.
    DeleteFileForced(BlockedEntriesPath(dataFolder));
    return kHostsRestored;
}

// Records blocking as off in the settings of the user who uninstalls, once the hosts file is clean:
// a later install then starts unblocked instead of resuming a block behind the old password. The
// list and the password stay. A user whose settings hold no block (or none at all) is left as is.
// A store that refuses changes nothing of the outcome: the hosts file is clean either way.
void RecordBlockingOff() {
    try {
        const SettingsStore settings;
        if (settings.Get(kKeyBlockOnStart, "0") != "0") settings.Save(kKeyBlockOnStart, "0");
    } catch (...) {
        // The hosts file is clean already; a stored "1" left behind only resumes a block later.
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        const int outcome = Restore();
        if (outcome == kHostsRestored) RecordBlockingOff();
        return outcome;
    } catch (...) {
        // The uninstaller stops and removes nothing; run again, the helper finds what is left.
        return kHostsNotRestored;
    }
}
