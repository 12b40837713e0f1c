#include "Blocker.h"

#include "DataFolderGuard.h"
#include "FileHelpers.h"
#include "HostsBackup.h"
#include "ServiceProtocol.h"

bool DirectBlocker::KeepsCleanCopy() {
    const std::string backupPath = HostsBackupPath(place_.dataFolder);
    return BackupFileIsPresent(backupPath) && IsTrustedOwner(backupPath, *place_.ownership);
}

StartOutcome DirectBlocker::Start(const BlockList& entries, bool userIsAdmin, bool atStartup,
                                  FailureReport& report, const std::string& passwordHash) {
    if (!FolderReady()) return userIsAdmin ? StartOutcome::Refused : StartOutcome::NotAdministrator;
    const StartOutcome outcome = StartBlock(place_, entries.Lines(), userIsAdmin, atStartup, report);
    if (outcome != StartOutcome::Written || !place_.keepsEntries) return outcome;
    // Kept as the start request the service would have been sent, bound to the block's password:
    // the service reads it back with the same checks and asks that password for a lift. Entries that cannot
    // be kept must not leave an older block's behind, which a service started later would put back over this
    // one.
    const std::string keptPath = BlockedEntriesPath(place_.dataFolder);
    try {
        const std::string request =
            EncodePasswordBoundStart(passwordHash, EncodeStartBlockRequest(entries, atStartup));
        if (WriteFileText(keptPath, request)) return outcome;
    } catch (...) {
        // A list more than one request may carry, or no memory for it: nothing is kept.
    }
    DeleteFileForced(keptPath);
    return outcome;
}

StopOutcome DirectBlocker::Stop(const BlockList& entries, bool userIsAdmin, FailureReport& report,
                                const std::function<void()>& letEventsRun, const std::string& password) {
    (void)password;
    if (!FolderReady()) return userIsAdmin ? StopOutcome::Refused : StopOutcome::NotAdministrator;
    const StopOutcome outcome = StopBlock(place_, entries.Lines(), userIsAdmin, report, letEventsRun);
    if (outcome == StopOutcome::Lifted && place_.keepsEntries)
        DeleteFileForced(BlockedEntriesPath(place_.dataFolder));
    return outcome;
}

PutBackOutcome DirectBlocker::PutBack(const BlockList& entries) {
    if (!FolderReady()) return PutBackOutcome::Refused;
    return PutBackBlock(place_, entries.Lines());
}

bool DirectBlocker::FolderReady() {
    return place_.folder == nullptr || place_.folder->Ready();
}
