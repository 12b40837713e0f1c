#include "FileSecurity.h"

#include <windows.h>

#include <aclapi.h>
#include <lm.h>

#include <sddl.h>

#include <cstdio>
#include <map>

#include "Failure.h"
#include "Handles.h"
#include "SystemLibrary.h"

namespace {

using Sid = std::vector<BYTE>;

Sid WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    Sid sid(size);
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) ThrowWin32Error();
    sid.resize(size);
    return sid;
}

// The user the program runs as, from the process token.
Sid CurrentUserSid() {
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) ThrowWin32Error();
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
        ThrowWin32Error();
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const BYTE* first = static_cast<const BYTE*>(user);
    return Sid(first, first + GetLengthSid(user));
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE known[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof known;
    return CreateWellKnownSid(type, nullptr, known, &size) && EqualSid(sid, known);
}

bool IsSystemOrAdministrators(PSID sid) {
    return IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid);
}

// The network management library's functions, bound at the first look-up of a member rather
// than at every start: most runs never need them.
struct NetApi {
    decltype(&NetLocalGroupGetMembers) LocalGroupGetMembers =
        SystemFunction<decltype(&NetLocalGroupGetMembers)>("netapi32.dll", "NetLocalGroupGetMembers");
    decltype(&NetApiBufferFree) ApiBufferFree =
        SystemFunction<decltype(&NetApiBufferFree)>("netapi32.dll", "NetApiBufferFree");
};

const NetApi& Netapi32() {
    static const NetApi functions;
    return functions;
}

// True when the account is a member of the local Administrators group. Any failure of the
// look-up answers false, so a file whose owner cannot be placed is still set aside.
bool IsMemberOfAdministrators(PSID sid) {
    try {
        // The group is named by the system's language; its SID is the same everywhere.
        Sid administrators = WellKnownSid(WinBuiltinAdministratorsSid);
        char name[256], domain[256];
        DWORD nameLength = sizeof name, domainLength = sizeof domain;
        SID_NAME_USE use;
        if (!LookupAccountSidA(nullptr, administrators.data(), name, &nameLength, domain, &domainLength,
                               &use))
            return false;
        // The group functions take the name in UTF-16 only.
        wchar_t group[256];
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, group, 256) == 0) return false;

        const NetApi& net = Netapi32();
        DWORD_PTR resume = 0;
        for (;;) {
            LOCALGROUP_MEMBERS_INFO_0* members = nullptr;
            DWORD read = 0, total = 0;
            NET_API_STATUS status =
                net.LocalGroupGetMembers(nullptr, group, 0, reinterpret_cast<BYTE**>(&members),
                                         MAX_PREFERRED_LENGTH, &read, &total, &resume);
            bool found = false;
            if (status == NERR_Success || status == ERROR_MORE_DATA) {
                for (DWORD i = 0; i < read && !found; ++i)
                    found = members[i].lgrmi0_sid != nullptr && EqualSid(members[i].lgrmi0_sid, sid);
            }
            if (members != nullptr) net.ApiBufferFree(members);
            if (found) return true;
            if (status != ERROR_MORE_DATA || read == 0) return false;
        }
    } catch (const Failure&) {
        return false;
    }
}

// What Users get in the protected list; anyone but SYSTEM and administrators holding more than
// this can change what is in the folder.
constexpr DWORD kReadAndExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
constexpr DWORD kHarmlessRights = kReadAndExecute | GENERIC_READ | GENERIC_EXECUTE;

// The protected list: SYSTEM and administrators full control, Users read and execute, every
// entry inherited by the folder's files and sub-folders. A folder maker, when given, may also add
// sub-folders to this one folder (the entry is not inherited).
class ProtectedAcl {
  public:
    explicit ProtectedAcl(PSID folderMaker = nullptr)
        : system_(WellKnownSid(WinLocalSystemSid)),
          administrators_(WellKnownSid(WinBuiltinAdministratorsSid)),
          users_(WellKnownSid(WinBuiltinUsersSid)) {
        DWORD size = sizeof(ACL);
        for (PSID sid :
             {PSID(system_.data()), PSID(administrators_.data()), PSID(users_.data()), folderMaker})
            if (sid != nullptr) size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
        buffer_.assign(size, 0);
        if (!InitializeAcl(get(), size, ACL_REVISION)) ThrowWin32Error();
        constexpr DWORD kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        Add(system_.data(), FILE_ALL_ACCESS, kInherited);
        Add(administrators_.data(), FILE_ALL_ACCESS, kInherited);
        Add(users_.data(), kReadAndExecute, kInherited);
        if (folderMaker != nullptr) Add(folderMaker, FILE_ADD_SUBDIRECTORY, 0);
    }
    PACL get() { return reinterpret_cast<PACL>(buffer_.data()); }

  private:
    void Add(PSID sid, DWORD rights, DWORD flags) {
        if (!AddAccessAllowedAceEx(get(), ACL_REVISION, flags, rights, sid)) ThrowWin32Error();
    }
    Sid system_, administrators_, users_;
    std::vector<BYTE> buffer_;
};

// True when the program runs with the Administrators group in force (elevated, where the
// system asks for elevation).
bool RunsWithAdministratorRights() {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
           CheckTokenMembership(nullptr, administrators, &member) && member;
}

// A security descriptor read from a file, freed when it goes out of scope.
struct ReadSecurity {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD status = ERROR_SUCCESS;

    ReadSecurity(const std::string& path, SECURITY_INFORMATION what) {
        status = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, what, &owner, nullptr, &dacl, nullptr,
                                       &descriptor);
    }
    ReadSecurity(const ReadSecurity&) = delete;
    ReadSecurity& operator=(const ReadSecurity&) = delete;
    ~ReadSecurity() {
        if (descriptor != nullptr) LocalFree(descriptor);
    }
};

// Turns on one privilege of the process token for as long as the object lives.
class EnabledPrivilege {
  public:
    explicit EnabledPrivilege(const char* name) {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put()))
            return;
        TOKEN_PRIVILEGES wanted{};
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!LookupPrivilegeValueA(nullptr, name, &wanted.Privileges[0].Luid)) return;
        DWORD size = sizeof previous_;
        if (AdjustTokenPrivileges(token_.get(), FALSE, &wanted, sizeof previous_, &previous_, &size) &&
            GetLastError() == ERROR_SUCCESS)
            adjusted_ = true;
    }
    EnabledPrivilege(const EnabledPrivilege&) = delete;
    EnabledPrivilege& operator=(const EnabledPrivilege&) = delete;
    ~EnabledPrivilege() {
        if (adjusted_) AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
    }

  private:
    UniqueKernelHandle token_;
    TOKEN_PRIVILEGES previous_{};
    bool adjusted_ = false;
};

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

DWORD SetOwner(const std::string& path, PSID owner) {
    return SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                 owner, nullptr, nullptr, nullptr);
}

}  // namespace

std::vector<BYTE> ProtectedFolderDescriptor(PSID folderMaker) {
    ProtectedAcl acl(folderMaker);
    SECURITY_DESCRIPTOR absolute;
    if (!InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION)) ThrowWin32Error();
    if (!SetSecurityDescriptorDacl(&absolute, TRUE, acl.get(), FALSE)) ThrowWin32Error();
    if (!SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) ThrowWin32Error();
    DWORD size = 0;
    MakeSelfRelativeSD(&absolute, nullptr, &size);
    std::vector<BYTE> relative(size);
    if (size == 0 || !MakeSelfRelativeSD(&absolute, relative.data(), &size)) ThrowWin32Error();
    return relative;
}

bool AccessListIsTight(PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (descriptor == nullptr || !GetSecurityDescriptorControl(descriptor, &control, &revision)) return false;
    if (!(control & SE_DACL_PROTECTED)) return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return false;
    if (!present || dacl == nullptr) return false;  // no list at all lets everyone in
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(dacl, index, &entry)) return false;
        auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;  // a denial only narrows the list
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & ~kHarmlessRights) == 0) continue;
        if (!IsSystemOrAdministrators(&allowed->SidStart)) return false;
    }
    return true;
}

namespace {

class SystemOwnershipAnswers final : public Ownership {
  public:
    std::vector<BYTE> OwnerOf(const std::string& path) override {
        ReadSecurity read(path, OWNER_SECURITY_INFORMATION);
        if (read.status != ERROR_SUCCESS || read.owner == nullptr || !IsValidSid(read.owner)) return {};
        const BYTE* first = static_cast<const BYTE*>(read.owner);
        return std::vector<BYTE>(first, first + GetLengthSid(read.owner));
    }
    bool IsAdministratorsMember(PSID sid) override { return IsMemberOfAdministrators(sid); }
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
        return ownership.IsAdministratorsMember(sid);
    } catch (const Failure&) {
        return false;
    }
}

bool CreateProtectedFolder(const std::string& path) {
    // Without administrator rights the account making the maker folder could not make the data
    // folder inside it, so it may add sub-folders there until an administrator's run tightens it.
    Sid maker;
    if (!RunsWithAdministratorRights()) maker = CurrentUserSid();
    std::vector<BYTE> descriptor = ProtectedFolderDescriptor(maker.empty() ? nullptr : maker.data());
    // The list is given at creation, so there is no moment in which the folder carries the
    // parent's open list and a file could be slipped into it.
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.data(), FALSE};
    if (!CreateDirectoryA(path.c_str(), &attributes)) ThrowWin32Error();
    return maker.empty();
}

bool FolderAccessIsTight(const std::string& path) {
    try {
        ReadSecurity read(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
        if (read.status != ERROR_SUCCESS) return false;
        return IsTrustedSid(read.owner, SystemOwnership()) && AccessListIsTight(read.descriptor);
    } catch (const Failure&) {
        return false;
    }
}

bool TightenFolderAccess(const std::string& path) {
    if (FolderAccessIsTight(path)) return true;
    try {
        bool ownerTrusted = false;
        {
            ReadSecurity read(path, OWNER_SECURITY_INFORMATION);
            if (read.status == ERROR_FILE_NOT_FOUND || read.status == ERROR_PATH_NOT_FOUND) return false;
            ownerTrusted = read.status == ERROR_SUCCESS && IsTrustedSid(read.owner, SystemOwnership());
        }
        // An owner may always rewrite the list, so a folder that a standard user made first is
        // handed to the administrators before its list is tightened.
        if (!ownerTrusted) {
            Sid administrators = WellKnownSid(WinBuiltinAdministratorsSid);
            if (SetOwner(path, administrators.data()) != ERROR_SUCCESS) {
                EnabledPrivilege takeOwnership(SE_TAKE_OWNERSHIP_NAME);
                SetOwner(path, administrators.data());
            }
        }
        ProtectedAcl acl;
        SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, acl.get(), nullptr);
    } catch (const Failure&) {
        // Answered below by what the folder holds now.
    }
    return FolderAccessIsTight(path);
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
