#include "HostsBackup.h"

#include <windows.h>

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

void TakeBackup(const std::string& hostsPath, const std::string& backupPath) {
    if (GetFileAttributesA(hostsPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            UniqueFile empty{CreateFileA(backupPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr)};
            if (!empty) ThrowWin32Error();
            return;
        }
    }
    if (CopyFileA(hostsPath.c_str(), backupPath.c_str(), TRUE)) return;
    DWORD error = GetLastError();
    // The path was free before the copy (and the copy never overwrites), so a file there now
    // is what the failed copy left.
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
        DWORD attributes = GetFileAttributesA(backupPath.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            SetFileAttributesA(backupPath.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(backupPath.c_str());
        }
    }
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

bool BackupFileIsPresent(const std::string& backupPath) {
    DWORD attributes = GetFileAttributesA(backupPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PreBlockingContentIsSafe(bool backupTakenNow, bool hostsExisted, const std::string& backupPath) {
    return backupTakenNow || BackupFileIsPresent(backupPath) || !hostsExisted;
}
