#include "FileOwnership.h"

#include <aclapi.h>

#include <cstdio>

#include "AdministratorAccount.h"
#include "Failure.h"
#include "Handles.h"
#include "SecurityIds.h"

ReadSecurity::ReadSecurity(const std::string& path, SECURITY_INFORMATION what) {
    status = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, what, &owner, nullptr, &dacl, nullptr,
                                   &descriptor);
    owned.reset(descriptor);
}

DWORD SetFileOwner(const std::string& path, PSID owner) {
    return SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                 owner, nullptr, nullptr, nullptr);
}

namespace {

// A second name (a hard link) or a redirection (a reparse point) would make the file report the
// owner of some other file, SYSTEM's for example, whatever its planter wrote through it.
bool HasOneNameOnly(const std::string& path) {
    UniqueFile file(CreateFileA(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info)) return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || info.nNumberOfLinks <= 1;
}

class SystemOwnershipAnswers final : public Ownership {
  public:
    std::vector<BYTE> OwnerOf(const std::string& path) override {
        ReadSecurity read(path, OWNER_SECURITY_INFORMATION);
        if (read.status != ERROR_SUCCESS || read.owner == nullptr || !IsValidSid(read.owner)) return {};
        const BYTE* first = static_cast<const BYTE*>(read.owner);
        return std::vector<BYTE>(first, first + GetLengthSid(read.owner));
    }
    bool AccountIsInAdministratorsGroup(PSID sid) override { return ::AccountIsInAdministratorsGroup(sid); }
};

}  // namespace

Ownership& SystemOwnership() {
    static SystemOwnershipAnswers answers;
    return answers;
}

bool IsTrustedSid(PSID sid, Ownership& ownership) {
    try {
        if (sid == nullptr || !IsValidSid(sid)) return false;
        if (IsSystemOrAdministrators(sid)) return true;
        Sid user = CurrentUserSid();
        if (EqualSid(sid, user.data())) return true;
        // Another administrator of the computer: a backup of theirs is as sound as one of ours.
        return ownership.AccountIsInAdministratorsGroup(sid);
    } catch (const Failure&) {
        return false;
    }
}

bool IsTrustedOwner(const std::string& path, Ownership& ownership) {
    if (!HasOneNameOnly(path)) return false;
    std::vector<BYTE> owner = ownership.OwnerOf(path);
    return !owner.empty() && IsTrustedSid(owner.data(), ownership);
}

std::string SetAsideUntrusted(const std::string& path) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, ".untrusted-%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    const std::string base = path + stamp;
    for (int attempt = 1;; ++attempt) {
        std::string aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        // Without MOVEFILE_REPLACE_EXISTING an earlier set-aside file is never overwritten.
        if (MoveFileExA(path.c_str(), aside.c_str(), 0)) {
            return aside;
        }
        DWORD error = GetLastError();
        if ((error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) || attempt >= 1000)
            ThrowWin32Error(error);
    }
}

bool SetAsideIfUntrusted(const std::string& path, Ownership& ownership) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
        ThrowWin32Error(error);
    }
    if (IsTrustedOwner(path, ownership)) return false;
    SetAsideUntrusted(path);
    return true;
}
