// ParvaliskRestore: the uninstaller runs it before it removes anything. It puts the clean hosts
// file back from the backup in the data folder (or, with no backup, takes the block lines of the
// user's list out of it), flushes the resolver cache and clears this
// installation's start-up entries. Its exit code tells the uninstaller whether it may go on: 0
// when the hosts file is clean (or there was nothing to put back), 1 when the clean copy could
// not be put back. Then nothing more is changed, so the backup, the only clean copy, stays.
#include <windows.h>

#include <string>
#include <vector>

#include "DnsCache.h"
#include "FileHelpers.h"
#include "FileOwnership.h"
#include "Handles.h"
#include "HostsBackup.h"
#include "HostsBlocker.h"
#include "ProgramPaths.h"
#include "Registry.h"
#include "SettingsStore.h"

namespace {

constexpr int kHostsRestored = 0;
constexpr int kHostsNotRestored = 1;

constexpr char kProgramFileName[] = "Parvalisk.exe";

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

int Restore() {
    const std::string commonData = SpecialFolderPath(kCommonAppDataFolder);
    if (commonData.empty()) return kHostsNotRestored;
    const std::string dataFolder = DataFolderPath(commonData);

    // The backup is deleted only once the hosts file holds it byte for byte: until then it is the
    // only clean copy.
    // A backup whose owner is not trusted was planted: it is moved aside, never copied over the
    // hosts file, as the program's own stop does.
    const std::string backupPath = HostsBackupPath(dataFolder);
    RemovePartialBackup(backupPath);
    if (BackupFileIsPresent(backupPath) && !SetAsideIfUntrusted(backupPath)) {
        if (!IsTrustedOwner(backupPath) || !RestoreBackup(backupPath, SystemHostsFilePath()))
            return kHostsNotRestored;
        DeleteFileForced(backupPath);
    } else {
        // No clean copy (deleted while blocking, or the data folder wiped): the block lines of the
        // list of the user who runs the uninstall come out of the hosts file, and only they.
        const std::vector<std::string> entries = DecodeWebsiteList(SettingsStore().Get(kKeyBlockedWebsites));
        if (!LiftBlockWithoutCleanCopy(SystemHostsFilePath(),
                                       [&](BlockLineWriter& lines) { lines.AddAll(entries); }))
            return kHostsNotRestored;
    }
    FlushResolverCache();

    // This helper stands in the installation, beside Parvalisk.exe.
    RemoveOwnRunEntry(ProgramFolder());
    DeleteFileForced(StartupMarkerPath(dataFolder));
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
