#include "AdministratorToken.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "Handles.h"

HANDLE TokenCalls::GetCurrentProcess() {
    return ::GetCurrentProcess();
}

BOOL TokenCalls::OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
    return ::OpenProcessToken(process, access, token);
}

BOOL TokenCalls::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* info,
                                     DWORD length, DWORD* returnLength) {
    return ::GetTokenInformation(token, infoClass, info, length, returnLength);
}

BOOL TokenCalls::AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* authority, BYTE subAuthorityCount,
                                          DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                                          DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
    return ::AllocateAndInitializeSid(authority, subAuthorityCount, sub0, sub1, sub2, sub3, sub4, sub5, sub6,
                                      sub7, sid);
}

BOOL TokenCalls::LookupAccountSidA(const char* systemName, PSID sid, char* name, DWORD* nameLength,
                                   char* domain, DWORD* domainLength, SID_NAME_USE* use) {
    return ::LookupAccountSidA(systemName, sid, name, nameLength, domain, domainLength, use);
}

void* TokenCalls::FreeSid(PSID sid) {
    return ::FreeSid(sid);
}

BOOL TokenCalls::CloseHandle(HANDLE handle) {
    return ::CloseHandle(handle);
}

namespace {

constexpr DWORD kTokenReadAccess = 0x20008;  // standard read rights plus TOKEN_QUERY
static_assert(kTokenReadAccess == (STANDARD_RIGHTS_READ | TOKEN_QUERY));
static_assert(TokenGroups == 2);
constexpr DWORD kNameCapacity = 255;

using NameBuffer = char[kNameCapacity];

// Looks up the account name of one identifier on this machine into buffers reset to spaces with
// their full length offered, so every lookup starts from the same state and a name is compared
// together with whatever the buffer holds after it.
BOOL LookupName(TokenCalls& calls, PSID sid, NameBuffer& name, NameBuffer& domain) {
    std::memset(name, ' ', kNameCapacity);
    std::memset(domain, ' ', kNameCapacity);
    DWORD nameLength = kNameCapacity;
    DWORD domainLength = kNameCapacity;
    SID_NAME_USE use = SidTypeUnknown;
    return calls.LookupAccountSidA(nullptr, sid, name, &nameLength, domain, &domainLength, &use);
}

}  // namespace

bool TokenHoldsAdministratorsGroup() {
    TokenCalls system;
    return TokenHoldsAdministratorsGroup(system);
}

size_t TokenGroupList::Count() const {
    const size_t header = offsetof(TOKEN_GROUPS, Groups);
    const size_t filled =
        length < table.size() * sizeof(ULONG_PTR) ? length : table.size() * sizeof(ULONG_PTR);
    if (filled <= header) return 0;
    const size_t fits = (filled - header) / sizeof(SID_AND_ATTRIBUTES);
    return Groups()->GroupCount < fits ? Groups()->GroupCount : fits;
}

bool ReadTokenGroups(HANDLE token, TokenCalls& calls, TokenGroupList& list) {
    DWORD needed = 0;
    if (calls.GetTokenInformation(token, TokenGroups, nullptr, 0, &needed) != FALSE || needed == 0)
        return false;
    try {
        list.table.assign((static_cast<size_t>(needed) + sizeof(ULONG_PTR) - 1) / sizeof(ULONG_PTR), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    DWORD length = 0;
    if (calls.GetTokenInformation(token, TokenGroups, list.table.data(), needed, &length) != 1 || length == 0)
        return false;
    // Only as many entries as the returned bytes can hold are read, whatever count they claim.
    list.length = length < needed ? length : needed;
    return true;
}

bool GroupsIncludeAdministratorsByName(const TokenGroupList& list, TokenCalls& calls) {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (calls.AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                       0, 0, 0, 0, 0, 0, &administrators) == FALSE)
        return false;
    auto freeAdministrators = ScopeExit([&] {
        if (administrators != nullptr) calls.FreeSid(administrators);
    });

    // The group's name in this system's language, rather than an assumed "Administrators".
    NameBuffer administratorsName, administratorsDomain;
    if (LookupName(calls, administrators, administratorsName, administratorsDomain) != 1) return false;

    const size_t count = list.Count();
    NameBuffer groupName, groupDomain;
    for (size_t i = 0; i < count; ++i) {
        // A failed lookup never matches: only a name the system gave is compared.
        if (LookupName(calls, list.Groups()->Groups[i].Sid, groupName, groupDomain) == FALSE) continue;
        if (std::memcmp(groupName, administratorsName, kNameCapacity) == 0) return true;
    }
    return false;
}

std::optional<DWORD> AdministratorsGroupAttributes(const TokenGroupList& list) {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) return std::nullopt;
    const size_t count = list.Count();
    for (size_t i = 0; i < count; ++i) {
        const SID_AND_ATTRIBUTES& group = list.Groups()->Groups[i];
        if (group.Sid != nullptr && IsValidSid(group.Sid) && EqualSid(group.Sid, administrators))
            return group.Attributes;
    }
    return std::nullopt;
}

bool TokenHoldsAdministratorsGroup(TokenCalls& calls) {
    HANDLE process = calls.GetCurrentProcess();
    if (process == nullptr) return false;

    HANDLE token = nullptr;
    const BOOL opened = calls.OpenProcessToken(process, kTokenReadAccess, &token);
    auto closeToken = ScopeExit([&] {
        if (opened != FALSE && token != nullptr) calls.CloseHandle(token);
    });
    if (opened != 1) return false;

    TokenGroupList groups;
    if (!ReadTokenGroups(token, calls, groups)) return false;
    // Asked while the token is open, so the identifier built for the check is freed before the
    // token is closed.
    return GroupsIncludeAdministratorsByName(groups, calls);
}

bool RunsElevated() {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
           CheckTokenMembership(nullptr, administrators, &member) && member;
}
