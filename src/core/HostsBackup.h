#pragma once
// The backup of the hosts file, DataFolder + "\hosts": a byte-for-byte copy of the hosts file
// taken before blocking, which the stop copies back. Each decision about it is one small step
// here, so the blocker reads like its steps and each rule can be tested on its own.

#include <string>

#include "ProgramPaths.h"

enum class BackupAction {
    TakeFresh,     // nothing stands at the backup path: copy the hosts file there
    KeepExisting,  // something stands there: keep it, it may be the only clean copy
};

// What a start does about the backup path. Whatever stands there is kept: a backup present at a
// start was taken before an earlier block (left by a refused write, a refused restore or a run
// that ended without its close), and copying a blocked hosts file over it would lose the clean
// copy. Throws Failure when the path cannot be examined; the caller then takes no copy, so a
// kept backup is never replaced on a guess.
BackupAction DecideBackupAtStart(const std::string& backupPath);

// Copies the hosts file to the backup path, which DecideBackupAtStart found free. With no hosts
// file at all the clean state is an empty file, so the backup is made empty: the stop then
// leaves an empty hosts file instead of the block lines. Throws Failure with the system's
// description when the copy fails, and removes what a failed copy may have left there, so a
// part-copy is never later kept as the clean copy.
void TakeBackup(const std::string& hostsPath, const std::string& backupPath);

// Removes the backup that a start took itself, after its write was refused: left behind, a later
// stop would roll the hosts file back to it and throw away every edit made in between. Only a
// file is removed, never a folder standing at the path.
void DiscardBackupTakenNow(const std::string& backupPath);

// Puts the backup's content back into the hosts file through the safe write (beside the file,
// then swapped in, keeping the file's attributes), so whatever a start could write a stop can
// put back. True only when the hosts file then holds the backup byte for byte; false for any
// failure (no backup file, one that cannot be read, a hosts file that refuses the write).
bool RestoreBackup(const std::string& backupPath, const std::string& hostsPath);

// True when a file (not a folder) stands at the backup path; false when none does or when it
// cannot be told.
bool BackupFileIsPresent(const std::string& backupPath);

// Whether the hosts file may be rewritten: its content from before blocking survives elsewhere,
// in the backup this start took, in a backup file kept from before, or it needs no keeping
// because there was no hosts file.
bool PreBlockingContentIsSafe(bool backupTakenNow, bool hostsExisted, const std::string& backupPath);
