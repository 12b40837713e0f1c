#pragma once
// The backup of the hosts file, DataFolder + "\hosts": a byte-for-byte copy of the hosts file
// taken before blocking, which the stop copies back. Each decision about it is one small step
// here, so the blocker reads like its steps and each rule can be tested on its own.

#include <string>

#include "HostsText.h"
#include "ProgramPaths.h"

// Where a backup is written before it takes its final name: the backup path + ".partial".
std::string PartialBackupPath(const std::string& backupPath);

// Removes what a backup write cut short (the program ended, the machine lost power) left at the
// partial name. A partial file is never taken for a backup. A folder there is left alone. Silent.
void RemovePartialBackup(const std::string& backupPath);

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

// Keeps the clean copy of the hosts file at the backup path, which DecideBackupAtStart found
// free: the hosts file byte for byte, or, when it already holds the complete set of the entries'
// block lines (a block whose backup went), the file without the block lines, so a blocked file is
// never kept as the clean copy. With no hosts file at all the clean state is an empty file, so the
// backup is made empty: the stop then leaves an empty hosts file instead of the block lines.
// The copy is written at the partial name, flushed to the disk, and only then moved to the backup
// path (never over a file there), so a file at the backup path is always whole.
// False, with nothing left behind, when the copy is refused for want of rights (a data folder
// that only administrators may write, met by one who is not elevated): that refusal is the
// start's own, which the caller reports as a whole. Throws Failure with the system's description
// for any other failure, after removing the partial file.
bool TakeBackup(const std::string& hostsPath, const std::string& backupPath, const BlockEntries& entries);

// Removes the backup that a start took itself, after its write was refused: left behind, a later
// stop would roll the hosts file back to it and throw away every edit made in between. Only a
// file is removed, never a folder standing at the path.
void DiscardBackupTakenNow(const std::string& backupPath);

// Puts the backup's content back into the hosts file through the safe write (beside the file,
// then swapped in, keeping the file's attributes), so whatever a start could write a stop can
// put back. True only when the hosts file then holds the backup byte for byte; false for any
// failure (no backup file, one that cannot be read, a hosts file that refuses the write).
bool RestoreBackup(const std::string& backupPath, const std::string& hostsPath);

// Deletes the backup once the stop has put it back, a read-only one too. Throws Failure with the
// system's description when it stays (held open by another program): the clean copy is back in
// the hosts file, but the stop must say that the copy is still there.
void DeleteBackupPutBack(const std::string& backupPath);

// True when a file (not a folder) stands at the backup path; false when none does or when it
// cannot be told.
bool BackupFileIsPresent(const std::string& backupPath);

// Whether the hosts file may be rewritten: its content from before blocking survives elsewhere,
// in the backup this start took, in a backup file kept from before, or it needs no keeping
// because there was no hosts file.
bool PreBlockingContentIsSafe(bool backupTakenNow, bool hostsExisted, const std::string& backupPath);
