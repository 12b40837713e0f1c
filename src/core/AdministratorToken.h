#pragma once
// What a token says of the built-in Administrators group (S-1-5-32-544): whether the program's
// own token holds the group (its account is an administrator, elevated or not), and whether the
// program runs with the group's rights in force (elevated). The other administrator questions are
// answered elsewhere: an account's membership in the machine's account database in
// AdministratorAccount.h, a pipe caller's rights in the service's requests (ServiceRequests.h).

#include <windows.h>

#include <cstddef>
#include <optional>
#include <vector>

// The system calls the check makes, in one place so a test can make any of them fail and count
// what was released. Each method defaults to the real kernel32/advapi32 function of its name; a
// test overrides the ones it needs and calls the base for the rest.
struct TokenCalls {
    virtual HANDLE GetCurrentProcess();
    virtual BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token);
    virtual BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* info,
                                     DWORD length, DWORD* returnLength);
    virtual BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* authority, BYTE subAuthorityCount,
                                          DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                                          DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid);
    virtual BOOL LookupAccountSidA(const char* systemName, PSID sid, char* name, DWORD* nameLength,
                                   char* domain, DWORD* domainLength, SID_NAME_USE* use);
    virtual void* FreeSid(PSID sid);
    virtual BOOL CloseHandle(HANDLE handle);
    virtual ~TokenCalls() = default;
};

// A token's group list as GetTokenInformation(TokenGroups) returns it: the table of entries and
// the identifiers behind them in one pointer-aligned buffer, and the number of bytes filled.
// Moved, never copied: the entries point into the table.
struct TokenGroupList {
    TokenGroupList() = default;
    TokenGroupList(TokenGroupList&&) = default;
    TokenGroupList& operator=(TokenGroupList&&) = default;
    TokenGroupList(const TokenGroupList&) = delete;
    TokenGroupList& operator=(const TokenGroupList&) = delete;

    std::vector<ULONG_PTR> table;
    size_t length = 0;

    const TOKEN_GROUPS* Groups() const { return reinterpret_cast<const TOKEN_GROUPS*>(table.data()); }
    // The entries to read: the count the list claims, but never more than its filled bytes hold.
    size_t Count() const;
};

// Reads a token's group list: its size first, then the table sized from it, however many groups
// the token has. False when either query fails or answers nothing.
bool ReadTokenGroups(HANDLE token, TokenCalls& calls, TokenGroupList& list);

// The rule that makes an account an administrator: one of the groups has the account name of the
// Administrators group (S-1-5-32-544) on this machine. Membership alone counts, whatever the
// group's attributes: an administrator without elevation (the group present for deny only) is
// still one. False when the group's name cannot be looked up.
bool GroupsIncludeAdministratorsByName(const TokenGroupList& list, TokenCalls& calls);

// The attributes of the built-in Administrators group (S-1-5-32-544) among the groups, found by
// its identifier alone: no name is looked up, so a group of another domain that bears the
// group's name is not it. Nothing when the group is not among them (or its identifier cannot be
// made).
std::optional<DWORD> AdministratorsGroupAttributes(const TokenGroupList& list);

// The group check: true when one of the token's groups has the account name of the Administrators
// group on this machine. Membership alone counts, whatever the group's attributes: an
// administrator without elevation (the group present for deny only) is still one. Every failing
// call gives false; nothing is raised or shown.
bool TokenHoldsAdministratorsGroup();
bool TokenHoldsAdministratorsGroup(TokenCalls& calls);

// The elevation check: true when the program runs with the Administrators group in force, so the
// system grants it what the group may do (elevated, where the system asks for elevation).
bool RunsElevated();
