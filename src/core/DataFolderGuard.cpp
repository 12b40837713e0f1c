#include "DataFolderGuard.h"

#include <utility>

#include "Failure.h"
#include "FolderAccess.h"
#include "SecurityIds.h"

namespace {

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Makes the folder with the protected list and hands it to the Administrators group (an elevated
// token may name it; where it may not, the folder keeps its maker as owner, which FolderIsOwn
// accepts).
void MakeOwnFolder(const std::string& folder) {
    CreateProtectedFolder(folder);
    Sid administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    SetFileOwner(folder, administrators.data());
}

void TakeFolder(const std::string& folder, Ownership& ownership, const FolderSetAside& setAside) {
    // A few rounds: a user may make the name again between the move aside and the new folder.
    for (int round = 0;; ++round) {
        if (ownership.AttributesOf(folder) == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (!IsMissing(error)) ThrowWin32Error(error);
            try {
                MakeOwnFolder(folder);
            } catch (const Failure&) {
                if (round >= 2) throw;
                continue;
            }
        }
        if (FolderIsOwn(folder, ownership)) return;
        if (round >= 2) ThrowWin32Error(ERROR_ACCESS_DENIED);
        // Renamed, never followed: a junction moves as itself, and what it led to stays as it was.
        const std::string aside = SetAsideUntrusted(folder);
        if (setAside) setAside(folder, aside);
    }
}

// A handle on the folder itself that lets nobody rename or delete it while it is open. It asks
// to list the folder: a handle that asks for attributes alone takes no part in sharing.
UniqueFile HoldFolder(const std::string& folder) {
    UniqueFile held(CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    CheckWin32(held);
    return held;
}

}  // namespace

bool IsOwnFolderOwner(PSID sid) {
    try {
        if (sid == nullptr || !IsValidSid(sid)) return false;
        if (IsSystemOrAdministrators(sid)) return true;
        Sid self = CurrentUserSid();
        return EqualSid(sid, self.data()) != FALSE;
    } catch (const Failure&) {
        return false;
    }
}

bool FolderIsOwn(const std::string& folder, Ownership& ownership) {
    const DWORD attributes = ownership.AttributesOf(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    std::vector<BYTE> owner = ownership.OwnerOf(folder);
    if (owner.empty() || !IsOwnFolderOwner(owner.data())) return false;
    // A folder of the account doing the work goes to the Administrators group, as a new one does.
    if (!IsSystemOrAdministrators(owner.data())) {
        try {
            Sid administrators = WellKnownSid(WinBuiltinAdministratorsSid);
            SetFileOwner(folder, administrators.data());
        } catch (const Failure&) {
            // Still ours: the account doing the work keeps it.
        }
    }
    TightenFolderAccess(folder);
    return true;
}

void TakeDataFolders(const std::string& dataFolder, Ownership& ownership, const FolderSetAside& setAside) {
    TakeFolder(ParentOf(dataFolder), ownership, setAside);
    TakeFolder(dataFolder, ownership, setAside);
}

void RemoveLinkedFiles(const std::string& folder) {
    WIN32_FIND_DATAA found;
    UniqueFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &found));
    for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.get(), &found) != FALSE) {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        UniqueFile file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!file || !GetFileInformationByHandle(file.get(), &info)) continue;
        const bool isLink = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
                            (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && info.nNumberOfLinks > 1);
        if (!isLink) continue;
        // Through the handle that was looked at, so the name removed is the link that was seen.
        FILE_DISPOSITION_INFO remove{TRUE};
        if (SetFileInformationByHandle(file.get(), FileDispositionInfo, &remove, sizeof remove)) continue;
        file.reset();
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDirectoryA(path.c_str());
        else
            DeleteFileA(path.c_str());
    }
}

HeldDataFolder::HeldDataFolder(const std::string& dataFolder, Ownership& ownership,
                               const FolderSetAside& setAside)
    : makerFolder_(ParentOf(dataFolder)), dataFolder_(dataFolder), ownership_(ownership) {
    for (int round = 0;; ++round) {
        TakeDataFolders(dataFolder_, ownership_, setAside);
        makerHeld_ = HoldFolder(makerFolder_);
        dataHeld_ = HoldFolder(dataFolder_);
        // Looked at again now that they are held: what was taken may have been swapped before.
        if (Ready()) return;
        makerHeld_.reset();
        dataHeld_.reset();
        if (round >= 2) ThrowWin32Error(ERROR_ACCESS_DENIED);
    }
}

bool HeldDataFolder::Ready() {
    if (!FolderIsOwn(makerFolder_, ownership_) || !FolderIsOwn(dataFolder_, ownership_)) return false;
    RemoveLinkedFiles(dataFolder_);
    return true;
}

bool TakenDataFolder::Ready() {
    try {
        TakeDataFolders(dataFolder_, ownership_, {});
    } catch (const Failure&) {
        return false;
    }
    RemoveLinkedFiles(dataFolder_);
    return true;
}
