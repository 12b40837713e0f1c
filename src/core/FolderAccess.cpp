#include "FolderAccess.h"

#include <aclapi.h>

#include "AdministratorToken.h"
#include "Failure.h"
#include "FileOwnership.h"
#include "Privileges.h"
#include "SecurityIds.h"

namespace {

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
        CheckWin32(InitializeAcl(get(), size, ACL_REVISION));
        constexpr DWORD kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        Add(system_.data(), FILE_ALL_ACCESS, kInherited);
        Add(administrators_.data(), FILE_ALL_ACCESS, kInherited);
        Add(users_.data(), kReadAndExecute, kInherited);
        if (folderMaker != nullptr) Add(folderMaker, FILE_ADD_SUBDIRECTORY, 0);
    }
    PACL get() { return reinterpret_cast<PACL>(buffer_.data()); }

  private:
    void Add(PSID sid, DWORD rights, DWORD flags) {
        CheckWin32(AddAccessAllowedAceEx(get(), ACL_REVISION, flags, rights, sid));
    }
    Sid system_, administrators_, users_;
    std::vector<BYTE> buffer_;
};

}  // namespace

std::vector<BYTE> ProtectedFolderDescriptor(PSID folderMaker) {
    ProtectedAcl acl(folderMaker);
    SECURITY_DESCRIPTOR absolute;
    CheckWin32(InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION));
    CheckWin32(SetSecurityDescriptorDacl(&absolute, TRUE, acl.get(), FALSE));
    CheckWin32(SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
    DWORD size = 0;
    MakeSelfRelativeSD(&absolute, nullptr, &size);
    std::vector<BYTE> relative(size);
    CheckWin32(size != 0 && MakeSelfRelativeSD(&absolute, relative.data(), &size));
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

bool CreateProtectedFolder(const std::string& path) {
    // Without administrator rights the account making the maker folder could not make the data
    // folder inside it, so it may add sub-folders there until an administrator's run tightens it.
    Sid maker;
    if (!RunsElevated()) maker = CurrentUserSid();
    std::vector<BYTE> descriptor = ProtectedFolderDescriptor(maker.empty() ? nullptr : maker.data());
    // The list is given at creation, so there is no moment in which the folder carries the
    // parent's open list and a file could be slipped into it.
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.data(), FALSE};
    CheckWin32(CreateDirectoryA(path.c_str(), &attributes));
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
            if (SetFileOwner(path, administrators.data()) != ERROR_SUCCESS) {
                EnabledPrivilege takeOwnership(SE_TAKE_OWNERSHIP_NAME);
                SetFileOwner(path, administrators.data());
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
