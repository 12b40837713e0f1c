#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "AdministratorToken.h"

namespace {

using Log = std::vector<std::string>;

// Passes every call to the system unless a test breaks or replaces it, and records the calls,
// the handles opened and closed and the identifiers built and freed.
class RecordingCalls : public TokenCalls {
  public:
    // What a test changes.
    bool noProcess = false;
    bool refuseToken = false;
    bool firstTableCallSucceeds = false;  // the size query answers "done" instead of a length
    bool firstTableCallReportsZero = false;
    bool refuseTable = false;  // the group list cannot be read
    bool tableLengthZero = false;
    bool refuseSid = false;
    bool refuseAdministratorsLookup = false;
    // Replaces the token's group list: fills the table (or reports the size it needs).
    std::function<BOOL(void* info, DWORD length, DWORD* returned)> groupTable;
    // Replaces the lookup of a group's name (not the Administrators group's own).
    std::function<BOOL(PSID sid, char* name, DWORD* nameLength, char* domain, DWORD* domainLength)>
        groupLookup;

    // What happened.
    Log log;
    std::vector<HANDLE> openedTokens, closedHandles;
    std::vector<PSID> builtSids, freedSids;
    DWORD accessAsked = 0;
    std::vector<TOKEN_INFORMATION_CLASS> classesAsked;
    DWORD tableLengthGiven = 0;
    DWORD groupCountReturned = 0;
    std::vector<DWORD> sidArguments;  // authority bytes, count, then the eight sub-authorities
    int groupLookups = 0;
    int lookupsNotStartingClean = 0;

    HANDLE GetCurrentProcess() override {
        log.push_back("GetCurrentProcess");
        return noProcess ? nullptr : TokenCalls::GetCurrentProcess();
    }
    BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) override {
        log.push_back("OpenProcessToken");
        accessAsked = access;
        if (refuseToken) return FALSE;
        BOOL ok = TokenCalls::OpenProcessToken(process, access, token);
        if (ok) openedTokens.push_back(*token);
        return ok;
    }
    BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* info, DWORD length,
                             DWORD* returned) override {
        log.push_back("GetTokenInformation");
        classesAsked.push_back(infoClass);
        const bool first = info == nullptr;
        if (!first) tableLengthGiven = length;
        if (first && firstTableCallSucceeds) return TRUE;
        if (first && firstTableCallReportsZero) {
            *returned = 0;
            return FALSE;
        }
        if (!first && refuseTable) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        BOOL ok = groupTable ? groupTable(info, length, returned)
                             : TokenCalls::GetTokenInformation(token, infoClass, info, length, returned);
        if (!first && ok) groupCountReturned = static_cast<TOKEN_GROUPS*>(info)->GroupCount;
        if (!first && tableLengthZero) *returned = 0;
        return ok;
    }
    BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD s0, DWORD s1,
                                  DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7,
                                  PSID* sid) override {
        log.push_back("AllocateAndInitializeSid");
        for (BYTE b : authority->Value) sidArguments.push_back(b);
        for (DWORD d : {static_cast<DWORD>(count), s0, s1, s2, s3, s4, s5, s6, s7}) sidArguments.push_back(d);
        if (refuseSid) return FALSE;
        BOOL ok = TokenCalls::AllocateAndInitializeSid(authority, count, s0, s1, s2, s3, s4, s5, s6, s7, sid);
        if (ok) builtSids.push_back(*sid);
        return ok;
    }
    BOOL LookupAccountSidA(const char* system, PSID sid, char* name, DWORD* nameLength, char* domain,
                           DWORD* domainLength, SID_NAME_USE* use) override {
        const bool ofAdministrators = !builtSids.empty() && EqualSid(sid, builtSids.back()) &&
                                      groupLookups == 0 && log.back() == "AllocateAndInitializeSid";
        log.push_back(ofAdministrators ? "LookupAccountSidA(Administrators)" : "LookupAccountSidA(group)");
        if (!ofAdministrators) ++groupLookups;
        if (system != nullptr || *nameLength != 255 || *domainLength != 255 ||
            std::string(name, 255) != std::string(255, ' ') ||
            std::string(domain, 255) != std::string(255, ' '))
            ++lookupsNotStartingClean;
        if (ofAdministrators && refuseAdministratorsLookup) return FALSE;
        if (!ofAdministrators && groupLookup) return groupLookup(sid, name, nameLength, domain, domainLength);
        return TokenCalls::LookupAccountSidA(system, sid, name, nameLength, domain, domainLength, use);
    }
    void* FreeSid(PSID sid) override {
        log.push_back("FreeSid");
        freedSids.push_back(sid);
        return TokenCalls::FreeSid(sid);
    }
    BOOL CloseHandle(HANDLE handle) override {
        log.push_back("CloseHandle");
        closedHandles.push_back(handle);
        return TokenCalls::CloseHandle(handle);
    }

    // The call log with each run of group lookups shown once.
    Log Calls() const {
        Log calls;
        for (const auto& call : log)
            if (calls.empty() || call != calls.back() || call != "LookupAccountSidA(group)")
                calls.push_back(call);
        return calls;
    }
};

// Writes an answer into a caller's name buffer as the system would: the text and its NUL.
BOOL Answer(const std::string& text, char* buffer, DWORD* length) {
    if (text.size() + 1 > *length) {
        *length = static_cast<DWORD>(text.size() + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *length = static_cast<DWORD>(text.size());
    return TRUE;
}

// A token group list of `count` groups S-1-5-21-1-2-3-<1000 + index>, laid out as the system
// lays it out: the count, the entries, then the identifiers behind them in the same buffer.
// `claimedCount` overrides the count written (to claim more entries than were returned).
std::function<BOOL(void*, DWORD, DWORD*)> SyntheticGroups(DWORD count, DWORD claimedCount = 0) {
    return [count, claimedCount](void* info, DWORD length, DWORD* returned) -> BOOL {
        const DWORD sidSize = GetSidLengthRequired(5);
        const DWORD entries = offsetof(TOKEN_GROUPS, Groups) + count * sizeof(SID_AND_ATTRIBUTES);
        const DWORD needed = entries + count * sidSize;
        *returned = needed;
        if (info == nullptr || length < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        auto* groups = static_cast<TOKEN_GROUPS*>(info);
        groups->GroupCount = claimedCount != 0 ? claimedCount : count;
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        for (DWORD i = 0; i < count; ++i) {
            PSID sid = static_cast<BYTE*>(info) + entries + i * sidSize;
            InitializeSid(sid, &nt, 5);
            const DWORD subs[5] = {21, 1, 2, 3, 1000 + i};
            for (BYTE s = 0; s < 5; ++s) *GetSidSubAuthority(sid, s) = subs[s];
            groups->Groups[i].Sid = sid;
            groups->Groups[i].Attributes = SE_GROUP_ENABLED;
        }
        return TRUE;
    };
}

DWORD Rid(PSID sid) {
    return *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
}

// The name the system gives the Administrators group here (it follows the display language).
std::string AdministratorsName() {
    PSID sid = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &sid);
    char name[256] = "", domain[256] = "";
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use;
    BOOL ok = LookupAccountSidA(nullptr, sid, name, &nameLength, domain, &domainLength, &use);
    FreeSid(sid);
    return ok ? name : "";
}

const Log kUpToTable = {"GetCurrentProcess", "OpenProcessToken", "GetTokenInformation",
                        "GetTokenInformation"};

Log Then(Log calls, const Log& more) {
    calls.insert(calls.end(), more.begin(), more.end());
    return calls;
}

void ExpectEverythingReleased(const RecordingCalls& calls) {
    EXPECT_EQ(calls.closedHandles, calls.openedTokens)
        << "each opened token is closed once, and nothing else";
    EXPECT_EQ(calls.freedSids, calls.builtSids) << "each built identifier is freed once, and nothing else";
}

TEST(TokenHoldsAdministratorsGroup, TheUserUnderWineIsAnAdministrator) {
    EXPECT_TRUE(TokenHoldsAdministratorsGroup());

    RecordingCalls calls;
    EXPECT_TRUE(TokenHoldsAdministratorsGroup(calls));
    EXPECT_EQ(calls.Calls(),
              Then(kUpToTable, {"AllocateAndInitializeSid", "LookupAccountSidA(Administrators)",
                                "LookupAccountSidA(group)", "FreeSid", "CloseHandle"}));
    EXPECT_EQ(calls.accessAsked, 0x20008u);
    EXPECT_EQ(calls.classesAsked, (std::vector<TOKEN_INFORMATION_CLASS>{TokenGroups, TokenGroups}));
    EXPECT_EQ(calls.sidArguments, (std::vector<DWORD>{0, 0, 0, 0, 0, 5, 2, 32, 544, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(calls.builtSids.size(), 1u);
    EXPECT_EQ(calls.lookupsNotStartingClean, 0) << "every lookup starts from 255 spaces and length 255";
    ASSERT_EQ(calls.openedTokens.size(), 1u);
    ExpectEverythingReleased(calls);
}

TEST(TokenHoldsAdministratorsGroup, EveryFailingStepGivesFalseAndReleasesWhatItHeld) {
    struct Case {
        const char* what;
        std::function<void(RecordingCalls&)> arrange;
        Log expected;
    };
    const auto usersOnly = [](PSID, char* name, DWORD* nameLength, char* domain, DWORD* domainLength) {
        return Answer("Users", name, nameLength) && Answer("BUILTIN", domain, domainLength);
    };
    const std::vector<Case> cases = {
        {"no process handle", [](RecordingCalls& c) { c.noProcess = true; }, {"GetCurrentProcess"}},
        {"no token",
         [](RecordingCalls& c) { c.refuseToken = true; },
         {"GetCurrentProcess", "OpenProcessToken"}},
        {"size query answers without a length",
         [](RecordingCalls& c) { c.firstTableCallSucceeds = true; },
         {"GetCurrentProcess", "OpenProcessToken", "GetTokenInformation", "CloseHandle"}},
        {"size query reports length 0",
         [](RecordingCalls& c) { c.firstTableCallReportsZero = true; },
         {"GetCurrentProcess", "OpenProcessToken", "GetTokenInformation", "CloseHandle"}},
        {"unreadable group list", [](RecordingCalls& c) { c.refuseTable = true; },
         Then(kUpToTable, {"CloseHandle"})},
        {"group list of length 0", [](RecordingCalls& c) { c.tableLengthZero = true; },
         Then(kUpToTable, {"CloseHandle"})},
        {"identifier cannot be built", [](RecordingCalls& c) { c.refuseSid = true; },
         Then(kUpToTable, {"AllocateAndInitializeSid", "CloseHandle"})},
        {"Administrators name cannot be looked up",
         [](RecordingCalls& c) { c.refuseAdministratorsLookup = true; },
         Then(kUpToTable,
              {"AllocateAndInitializeSid", "LookupAccountSidA(Administrators)", "FreeSid", "CloseHandle"})},
        {"no group has the name", [&](RecordingCalls& c) { c.groupLookup = usersOnly; },
         Then(kUpToTable, {"AllocateAndInitializeSid", "LookupAccountSidA(Administrators)",
                           "LookupAccountSidA(group)", "FreeSid", "CloseHandle"})},
        {"every group lookup fails",
         [](RecordingCalls& c) { c.groupLookup = [](PSID, char*, DWORD*, char*, DWORD*) { return FALSE; }; },
         Then(kUpToTable, {"AllocateAndInitializeSid", "LookupAccountSidA(Administrators)",
                           "LookupAccountSidA(group)", "FreeSid", "CloseHandle"})},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        RecordingCalls calls;
        test.arrange(calls);
        EXPECT_FALSE(TokenHoldsAdministratorsGroup(calls));
        EXPECT_EQ(calls.Calls(), test.expected);
        ExpectEverythingReleased(calls);
        if (std::find(test.expected.begin(), test.expected.end(), "LookupAccountSidA(group)") !=
            test.expected.end()) {
            EXPECT_EQ(calls.groupLookups, static_cast<int>(calls.groupCountReturned))
                << "every group was looked up";
        }
    }
}

TEST(TokenHoldsAdministratorsGroup, OnlyTheAccountNameIsCompared) {
    const std::string administrators = AdministratorsName();
    ASSERT_FALSE(administrators.empty());
    std::string upper = administrators;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    struct Case {
        const char* what;
        std::string name, domain;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"the same name in another domain", administrators, "ELSEWHERE", true},
        {"the name in other letter case", upper, "BUILTIN", false},
        {"the name with a character more", administrators + "s", "BUILTIN", false},
        {"the name less its last character", administrators.substr(0, administrators.size() - 1), "BUILTIN",
         false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        RecordingCalls calls;
        calls.groupTable = SyntheticGroups(3);
        calls.groupLookup = [&](PSID sid, char* name, DWORD* nameLength, char* domain, DWORD* domainLength) {
            const std::string answer = Rid(sid) == 1001 ? test.name : "Group " + std::to_string(Rid(sid));
            return Answer(answer, name, nameLength) && Answer(test.domain, domain, domainLength);
        };
        EXPECT_EQ(TokenHoldsAdministratorsGroup(calls), test.expected);
        EXPECT_EQ(calls.groupLookups, test.expected ? 2 : 3) << "the walk stops at the first match";
        ExpectEverythingReleased(calls);
    }
}

TEST(TokenHoldsAdministratorsGroup, TheWholeGroupListIsWalkedHoweverLong) {
    for (DWORD count : {1u, 501u, 502u, 2000u}) {
        SCOPED_TRACE("groups: " + std::to_string(count));
        for (bool lastMatches : {true, false}) {
            RecordingCalls calls;
            calls.groupTable = SyntheticGroups(count);
            calls.groupLookup = [&](PSID sid, char* name, DWORD* nameLength, char* domain,
                                    DWORD* domainLength) {
                const bool last = Rid(sid) == 1000 + count - 1;
                return Answer(last && lastMatches ? AdministratorsName() : "Group", name, nameLength) &&
                       Answer("DOMAIN", domain, domainLength);
            };
            EXPECT_EQ(TokenHoldsAdministratorsGroup(calls), lastMatches);
            EXPECT_EQ(calls.groupLookups, static_cast<int>(count));
            EXPECT_EQ(calls.tableLengthGiven,
                      offsetof(TOKEN_GROUPS, Groups) +
                          count * (sizeof(SID_AND_ATTRIBUTES) + GetSidLengthRequired(5)))
                << "the table is sized from the length the system reported";
            EXPECT_EQ(calls.lookupsNotStartingClean, 0);
            ExpectEverythingReleased(calls);
        }
    }
}

TEST(TokenHoldsAdministratorsGroup, UntrustworthyAnswersNeverMatchOrOverrun) {
    // A lookup that fails after writing the name into the buffer is still a failed lookup.
    RecordingCalls failedWrite;
    failedWrite.groupTable = SyntheticGroups(2);
    failedWrite.groupLookup = [](PSID, char* name, DWORD* nameLength, char*, DWORD*) {
        Answer(AdministratorsName(), name, nameLength);
        return FALSE;
    };
    EXPECT_FALSE(TokenHoldsAdministratorsGroup(failedWrite));
    ExpectEverythingReleased(failedWrite);

    // A count claiming more entries than the returned bytes hold: only the returned ones are read.
    RecordingCalls overclaimed;
    overclaimed.groupTable = SyntheticGroups(3, 1000000);
    overclaimed.groupLookup = [](PSID, char* name, DWORD* nameLength, char* domain, DWORD* domainLength) {
        return Answer("Group", name, nameLength) && Answer("DOMAIN", domain, domainLength);
    };
    EXPECT_FALSE(TokenHoldsAdministratorsGroup(overclaimed));
    const size_t entriesInReturnedBytes =
        (overclaimed.tableLengthGiven - offsetof(TOKEN_GROUPS, Groups)) / sizeof(SID_AND_ATTRIBUTES);
    EXPECT_EQ(static_cast<size_t>(overclaimed.groupLookups), entriesInReturnedBytes)
        << "the walk went past the bytes the system returned";
    ExpectEverythingReleased(overclaimed);
}

}  // namespace
