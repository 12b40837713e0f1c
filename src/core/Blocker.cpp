#include "Blocker.h"

#include "HostsBackup.h"

bool DirectBlocker::KeepsCleanCopy() {
    const std::string backupPath = HostsBackupPath(place_.dataFolder);
    return BackupFileIsPresent(backupPath) && IsTrustedOwner(backupPath, *place_.ownership);
}
