#include "PipeSecurity.h"

#include "Failure.h"
#include "SecurityIds.h"

namespace {

// SYSTEM and the Administrators group with `ownersAccess`, an authenticated user with
// `usersAccess`, nobody else; the access list protected from inheritance.
std::vector<BYTE> OwnersAndUsersDescriptor(DWORD ownersAccess, DWORD usersAccess) {
    Sid system = WellKnownSid(WinLocalSystemSid);
    Sid administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    Sid authenticated = WellKnownSid(WinAuthenticatedUserSid);

    const DWORD aclSize = sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + system.size() +
                          administrators.size() + authenticated.size();
    std::vector<DWORD> acl((aclSize + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* list = reinterpret_cast<ACL*>(acl.data());
    CheckWin32(InitializeAcl(list, aclSize, ACL_REVISION) &&
               AddAccessAllowedAce(list, ACL_REVISION, ownersAccess, system.data()) &&
               AddAccessAllowedAce(list, ACL_REVISION, ownersAccess, administrators.data()) &&
               AddAccessAllowedAce(list, ACL_REVISION, usersAccess, authenticated.data()));

    SECURITY_DESCRIPTOR absolute;
    CheckWin32(InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) &&
               SetSecurityDescriptorDacl(&absolute, TRUE, list, FALSE) &&
               SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
    DWORD size = 0;
    MakeSelfRelativeSD(&absolute, nullptr, &size);
    CheckWin32(size != 0);
    std::vector<BYTE> descriptor(size);
    CheckWin32(MakeSelfRelativeSD(&absolute, descriptor.data(), &size));
    return descriptor;
}

}  // namespace

std::vector<BYTE> PipeSecurityDescriptor() {
    return OwnersAndUsersDescriptor(FILE_ALL_ACCESS, kPipeClientAccess);
}

std::vector<BYTE> ChangeSignalSecurityDescriptor() {
    return OwnersAndUsersDescriptor(EVENT_ALL_ACCESS, SYNCHRONIZE);
}
