#include "HostsBackup.h"

#include <windows.h>

#include <algorithm>

#include "Failure.h"
#include "FileHelpers.h"
#include "Handles.h"
#include "HostsText.h"

BackupAction DecideBackupAtStart(const std::string& backupPath) {
    if (GetFileAttributesA(backupPath.c_str()) != INVALID_FILE_ATTRIBUTES) return BackupAction::KeepExisting;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return BackupAction::TakeFresh;
    ThrowWin32Error(error);
}

namespace {

// The failures that mean the account may not do this, as opposed to something gone wrong.
bool IsWantOfRights(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD ||
           error == ERROR_NETWORK_ACCESS_DENIED;
}

// Writes the content at the path and flushes it to the disk. The error of the first refused
// step, or ERROR_SUCCESS.
DWORD WriteFlushed(const std::string& path, const std::string& content) {
    // A new file only, never one standing there (a link would be written through): the caller
    // removed what a cut write left.
    // What stands there still could not be removed (a folder, a file held by another account):
    // the copy is refused as it would be for want of rights.
    UniqueFile file{CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (!file) return GetLastError() == ERROR_FILE_EXISTS ? ERROR_ACCESS_DENIED : GetLastError();
    for (size_t done = 0; done < content.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 24));
        DWORD written = 0;
        if (!WriteFile(file.get(), content.data() + done, chunk, &written, nullptr)) return GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        done += written;
    }
    return FlushFileBuffers(file.get()) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

std::string PartialBackupPath(const std::string& backupPath) {
    return backupPath + ".partial";
}

void RemovePartialBackup(const std::string& backupPath) {
    const std::string partial = PartialBackupPath(backupPath);
    DWORD attributes = GetFileAttributesA(partial.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    SetFileAttributesA(partial.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(partial.c_str());
}

bool TakeBackup(const std::string& hostsPath, const std::string& backupPath, const BlockEntries& entries) {
    RemovePartialBackup(backupPath);
    HostsContent hosts;
    try {
        hosts = ReadHostsForBlocking(hostsPath);
    } catch (const Failure& failure) {
        if (IsWantOfRights(failure.code())) return false;
        throw;
    }
    bool blocked = false;
    try {
        blocked = hosts.exists && HoldsBlockLines(hosts.text, entries);
    } catch (...) {
        // The block lines cannot be made: the start reports that where it makes them, and writes
        // nothing, so the copy taken here is discarded again.
    }
    if (blocked) hosts.text = WithoutBlockLines(hosts.text, entries);

    const std::string partial = PartialBackupPath(backupPath);
    DWORD error = WriteFlushed(partial, hosts.text);
    // Never over a backup that appeared meanwhile: that one may be the only clean copy.
    if (error == ERROR_SUCCESS && !MoveFileExA(partial.c_str(), backupPath.c_str(), MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error == ERROR_SUCCESS) return true;
    RemovePartialBackup(backupPath);
    if (IsWantOfRights(error)) return false;
    ThrowWin32Error(error);
}

void DiscardBackupTakenNow(const std::string& backupPath) {
    if (!BackupFileIsPresent(backupPath)) return;
    SetFileAttributesA(backupPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(backupPath.c_str());
}

bool RestoreBackup(const std::string& backupPath, const std::string& hostsPath) {
    if (!BackupFileIsPresent(backupPath)) return false;
    HostsContent clean;
    try {
        // Read exactly: an empty backup is the empty string, not the "empty file" marker.
        clean = ReadHostsForBlocking(backupPath);
    } catch (const Failure&) {
        return false;
    }
    return clean.exists && WriteFileText(hostsPath, clean.text);
}

void DeleteBackupPutBack(const std::string& backupPath) {
    if (DeleteFileA(backupPath.c_str())) return;
    const DWORD error = GetLastError();
    DeleteFileForced(backupPath);
    if (BackupFileIsPresent(backupPath)) ThrowWin32Error(error);
}

bool BackupFileIsPresent(const std::string& backupPath) {
    DWORD attributes = GetFileAttributesA(backupPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PreBlockingContentIsSafe(bool backupTakenNow, bool hostsExisted, const std::string& backupPath) {
    return backupTakenNow || BackupFileIsPresent(backupPath) || !hostsExisted;
}
