// Wine enforces no access lists and knows no elevation, and its one account is an administrator:
// the caller's groups come from a scripted CallerGroups here, with the Administrators group
// enabled, present for deny only (an administrator without elevation), absent, or not to be had.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "PasswordHash.h"
#include "Registry.h"
#include "ServiceRequests.h"
#include "support/ScriptedCaller.h"
#include "support/TempTree.h"

namespace {

constexpr char kAdministrators[] = "S-1-5-32-544";
constexpr char kUsers[] = "S-1-5-32-545";
constexpr char kEveryone[] = "S-1-1-0";
constexpr char kAccount[] = "S-1-5-21-1-2-3-1000";
// A group of a domain that bears the Administrators group's relative identifier (and, there, may
// bear its name), but is not the built-in group.
constexpr char kDomainAdministrators[] = "S-1-5-21-1-2-3-544";
constexpr DWORD kEnabled = kGroupEnabled;
using Group = ScriptedGroup;

struct CallerCase {
    const char* what;
    std::optional<std::vector<Group>> groups;
    bool administrator;
};

const std::vector<CallerCase> kCallers = {
    {"administrator, group enabled",
     std::vector<Group>{{kAccount, kEnabled}, {kAdministrators, kEnabled | SE_GROUP_OWNER}}, true},
    {"administrator without elevation, group for deny only",
     std::vector<Group>{
         {kEveryone, kEnabled}, {kAdministrators, SE_GROUP_USE_FOR_DENY_ONLY}, {kUsers, kEnabled}},
     true},
    {"standard user", std::vector<Group>{{kAccount, kEnabled}, {kEveryone, kEnabled}, {kUsers, kEnabled}},
     false},
    {"a domain's group with the Administrators group's number",
     std::vector<Group>{{kAccount, kEnabled}, {kDomainAdministrators, kEnabled}}, false},
    {"no groups", std::vector<Group>{}, false},
    {"groups not to be had", std::nullopt, false},
};

using Texts = std::vector<std::string>;
const std::vector<std::string> kList = {"www.example.com", "https://m.example.org/page", "third.example"};
constexpr char kCleanHosts[] = "127.0.0.1       localhost\r\n# kept as it is\r\n";
constexpr char kProgram[] = "C:\\Program Files\\Parvalisk\\Parvalisk.exe";

class ServiceRequests : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        MakeDataFolder();
        runKey = settingsKey + "\\Run";
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, runKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        WriteBytes(hostsPath, kCleanHosts);
    }

    BlockingPlace Place() { return {hostsPath, dataFolder, &owners}; }
    std::string BackupPath() const { return dataFolder + "\\hosts"; }

    // The Run value for the program, or "<missing>".
    std::string RunValue() {
        UniqueKey key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, runKey.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
            return "<no key>";
        DWORD type = 0;
        std::string text;
        return QueryValue(key.get(), "Parvalisk.exe", type, text) ? text : "<missing>";
    }

    ServiceAnswer Ask(const std::string& request, CallerGroups& caller) {
        DirectBlocker blocker(Place());
        ServiceParts parts{blocker, {HKEY_CURRENT_USER, runKey, dataFolder, kProgram}};
        ServiceAnswer answer;
        EXPECT_EQ(DecodeAnswer(AnswerRequest(request, caller, parts, state), answer), MessageProblem::None);
        return answer;
    }

    std::string runKey;
    ServiceState state;
};

TEST_F(ServiceRequests, OnlyAnAdministratorChangesTheBlockOrTheStartUp) {
    const std::string blockLines =
        "\r\n127.0.0.1          www.example.com\r\n127.0.0.1          m.example.org\r\n"
        "127.0.0.1          third.example\r\n";
    for (const auto& caller : kCallers) {
        SCOPED_TRACE(caller.what);
        ScriptedCaller groups(caller.groups);
        DirectBlocker direct(Place());
        CollectedFailures unexpected;

        // Start: the block and its clean copy, or no file touched at all.
        WriteBytes(hostsPath, kCleanHosts);
        DeleteFileA(BackupPath().c_str());
        state = {};
        ServiceAnswer start = Ask(EncodeStartBlockRequest(kList, false), groups);
        EXPECT_EQ(start.kind, MessageKind::StartBlockAnswer);
        EXPECT_EQ(start.start, caller.administrator ? StartOutcome::Written : StartOutcome::NotAdministrator);
        EXPECT_EQ(start.failures, std::vector<ReportedFailure>{});
        EXPECT_EQ(ReadBytes(hostsPath), caller.administrator ? kCleanHosts + blockLines : kCleanHosts);
        EXPECT_EQ(ReadBytes(BackupPath()), caller.administrator ? kCleanHosts : "<missing>");
        EXPECT_EQ(state.blocking, caller.administrator);
        EXPECT_EQ(state.entries.size(), caller.administrator ? kList.size() : 0u);

        // Stop of a block already there: the clean copy back, or everything left as it is.
        WriteBytes(hostsPath, kCleanHosts);
        DeleteFileA(BackupPath().c_str());
        ASSERT_EQ(direct.Start(ListedEntries(kList), true, false, unexpected), StartOutcome::Written);
        ServiceAnswer stop = Ask(EncodeStopBlockRequest(kList), groups);
        EXPECT_EQ(stop.stop, caller.administrator ? StopOutcome::Lifted : StopOutcome::NotAdministrator);
        EXPECT_EQ(ReadBytes(hostsPath), caller.administrator ? kCleanHosts : kCleanHosts + blockLines);
        EXPECT_EQ(ReadBytes(BackupPath()), caller.administrator ? "<missing>" : kCleanHosts);

        // Put-back of removed lines: written back, or refused with nothing written.
        WriteBytes(hostsPath, kCleanHosts);
        ServiceAnswer putBack = Ask(EncodePutBackRequest(kList), groups);
        EXPECT_EQ(putBack.putBack, caller.administrator ? PutBackOutcome::PutBack : PutBackOutcome::Refused);
        EXPECT_EQ(ReadBytes(hostsPath), caller.administrator ? kCleanHosts + blockLines : kCleanHosts);
        DeleteFileA(BackupPath().c_str());

        // Start with Windows: the Run value and the marker, or neither.
        ServiceAnswer on = Ask(EncodeSetStartWithWindowsRequest(true), groups);
        EXPECT_EQ(on.kind, MessageKind::SetStartWithWindowsAnswer);
        EXPECT_EQ(on.startWithWindows, caller.administrator ? StartWithWindowsOutcome::Switched
                                                            : StartWithWindowsOutcome::NotAdministrator);
        EXPECT_EQ(RunValue(),
                  caller.administrator ? "\"C:\\Program Files\\Parvalisk\\Parvalisk.exe\"" : "<missing>");
        EXPECT_EQ(ReadBytes(dataFolder + "\\iStart"), caller.administrator ? " " : "<missing>");
        // Switched off by an administrator, the two go; a non-administrator's switch leaves them.
        SwitchMachineStartWithWindows(true, {HKEY_CURRENT_USER, runKey, dataFolder, kProgram});
        ServiceAnswer off = Ask(EncodeSetStartWithWindowsRequest(false), groups);
        EXPECT_EQ(off.startWithWindows, caller.administrator ? StartWithWindowsOutcome::Switched
                                                             : StartWithWindowsOutcome::NotAdministrator);
        EXPECT_EQ(RunValue(),
                  caller.administrator ? "<missing>" : "\"C:\\Program Files\\Parvalisk\\Parvalisk.exe\"");
        EXPECT_EQ(ReadBytes(dataFolder + "\\iStart"), caller.administrator ? "<missing>" : " ");
        SwitchMachineStartWithWindows(false, {HKEY_CURRENT_USER, runKey, dataFolder, kProgram});

        // Status is anyone's, and needs nobody's groups.
        const int askedBefore = groups.asked;
        state = {};
        state.blocking = true;
        state.entries.Add("a");
        state.lastPutBackSucceeded = false;
        ServiceAnswer status = Ask(EncodeStatusRequest(), groups);
        EXPECT_EQ(status.kind, MessageKind::StatusAnswer);
        EXPECT_EQ(status.status, (ServiceStatus{true, 1, false}));
        EXPECT_EQ(groups.asked, askedBefore);
    }
}

TEST_F(ServiceRequests, TheAnswerFollowsWhatTheBlockDid) {
    ScriptedCaller administrator(kCallers[0].groups);
    ASSERT_EQ(Ask(EncodeStartBlockRequest(kList, false), administrator).start, StartOutcome::Written);
    EXPECT_EQ(Ask(EncodeStatusRequest(), administrator).status, (ServiceStatus{true, 3, true}));

    // A put-back of removed lines that the hosts file refuses is remembered for the status.
    WriteBytes(hostsPath, kCleanHosts);
    ASSERT_TRUE(SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Ask(EncodePutBackRequest(kList), administrator).putBack, PutBackOutcome::Refused);
    EXPECT_EQ(Ask(EncodeStatusRequest(), administrator).status, (ServiceStatus{true, 3, false}));
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(Ask(EncodeStopBlockRequest(kList), administrator).stop, StopOutcome::Lifted);
    EXPECT_EQ(Ask(EncodeStatusRequest(), administrator).status, (ServiceStatus{false, 0, false}));
    EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts);

    // Without a clean copy the lines of the entries the service wrote come out, also those of an
    // entry the caller's list no longer holds.
    ASSERT_EQ(Ask(EncodeStartBlockRequest(kList, false), administrator).start, StartOutcome::Written);
    ASSERT_TRUE(DeleteFileA(BackupPath().c_str()));
    EXPECT_EQ(Ask(EncodeStopBlockRequest(std::vector<std::string>{kList[0]}), administrator).stop,
              StopOutcome::Lifted);
    EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts);

    // A failed step comes back as the blocker reported it: procedure, line number and error text.
    DeleteFileA(hostsPath.c_str());
    ASSERT_TRUE(CreateDirectoryA(hostsPath.c_str(), nullptr));
    CollectedFailures direct;
    DirectBlocker(Place()).Start(ListedEntries(kList), true, false, direct);
    ASSERT_FALSE(direct.failures.empty());
    DeleteFileA(BackupPath().c_str());
    const ServiceAnswer refused = Ask(EncodeStartBlockRequest(kList, false), administrator);
    EXPECT_EQ(refused.start, StartOutcome::Refused);
    EXPECT_EQ(refused.failures, direct.failures);
    EXPECT_FALSE(Ask(EncodeStatusRequest(), administrator).status.blocking);
    RemoveDirectoryA(hostsPath.c_str());
}

// An administrator's program that was not elevated holds the group for deny only; any program
// of the parent's account does.
const std::vector<Group> kNotElevated = {{kAccount, kEnabled}, {kAdministrators, SE_GROUP_USE_FOR_DENY_ONLY}};
const std::vector<Group> kElevated = {{kAccount, kEnabled}, {kAdministrators, kEnabled | SE_GROUP_OWNER}};

TEST_F(ServiceRequests, OnlyThePasswordOrAnElevatedCallerLiftsABlockBoundToIt) {
    const std::string blocked = kCleanHosts + std::string("\r\n127.0.0.1          www.example.com\r\n") +
                                "127.0.0.1          m.example.org\r\n127.0.0.1          third.example\r\n";
    const std::string hash = HashPassword("secret");
    const struct {
        const char* what;
        bool bound;  // started with the password "secret"
        bool elevated;
        const char* password;
        StopOutcome expected;
    } rows[] = {
        {"no password given", true, false, "", StopOutcome::WrongPassword},
        {"a wrong password", true, false, "Secret", StopOutcome::WrongPassword},
        {"the password", true, false, "secret", StopOutcome::Lifted},
        {"the password with the blanks the unlock takes", true, false, " secret ", StopOutcome::Lifted},
        {"an elevated caller without the password", true, true, "", StopOutcome::Lifted},
        {"a block bound to no password", false, false, "", StopOutcome::Lifted},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WriteBytes(hostsPath, kCleanHosts);
        DeleteFileA(BackupPath().c_str());
        state = {};
        ScriptedCaller starter(kNotElevated);
        ASSERT_EQ(Ask(EncodePasswordBoundStart(row.bound ? hash : "", EncodeStartBlockRequest(kList, false)),
                      starter)
                      .start,
                  StartOutcome::Written);
        EXPECT_EQ(state.passwordHash, row.bound ? hash : "");
        if (row.bound) {
            // Another start cannot put another password (or none) in the block's place.
            for (const std::string& other : {std::string(), HashPassword("mine")}) {
                EXPECT_EQ(Ask(EncodePasswordBoundStart(other, EncodeStartBlockRequest(kList, false)), starter)
                              .start,
                          StartOutcome::Refused);
                EXPECT_EQ(state.passwordHash, hash);
            }
        }

        ScriptedCaller stopper(row.elevated ? kElevated : kNotElevated);
        EXPECT_EQ(Ask(EncodeStopBlockRequest(kList, row.password), stopper).stop, row.expected);
        const bool lifted = row.expected == StopOutcome::Lifted;
        EXPECT_EQ(ReadBytes(hostsPath), lifted ? kCleanHosts : blocked);
        EXPECT_EQ(ReadBytes(BackupPath()), lifted ? "<missing>" : kCleanHosts) << "the clean copy";
        EXPECT_EQ(state.blocking, !lifted);
    }
}

TEST_F(ServiceRequests, ANewPasswordForTheBlockComesWithTheOldOne) {
    ScriptedCaller caller(kNotElevated);
    ASSERT_EQ(
        Ask(EncodePasswordBoundStart(HashPassword("old"), EncodeStartBlockRequest(kList, false)), caller)
            .start,
        StartOutcome::Written);
    const std::string newHash = HashPassword("new");
    EXPECT_EQ(Ask(EncodeChangePasswordRequest("wrong", newHash), caller).passwordChange,
              PasswordChangeOutcome::WrongPassword);
    EXPECT_EQ(Ask(EncodeStopBlockRequest(kList, "new"), caller).stop, StopOutcome::WrongPassword);

    const ServiceAnswer changed = Ask(EncodeChangePasswordRequest("old", newHash), caller);
    EXPECT_EQ(changed.kind, MessageKind::ChangePasswordAnswer);
    EXPECT_EQ(changed.passwordChange, PasswordChangeOutcome::Changed);
    EXPECT_EQ(Ask(EncodeStopBlockRequest(kList, "old"), caller).stop, StopOutcome::WrongPassword);
    EXPECT_EQ(Ask(EncodeStopBlockRequest(kList, "new"), caller).stop, StopOutcome::Lifted);
    EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts);

    ScriptedCaller user(std::vector<Group>{{kAccount, kEnabled}, {kUsers, kEnabled}});
    EXPECT_EQ(Ask(EncodeChangePasswordRequest("new", HashPassword("x")), user).passwordChange,
              PasswordChangeOutcome::NotAdministrator);
}

TEST_F(ServiceRequests, AStartOfNoEntriesIsRefusedWithNothingWritten) {
    ScriptedCaller administrator(kElevated);
    for (const bool bound : {false, true}) {
        SCOPED_TRACE(bound ? "bound to a password" : "no password");
        const ServiceAnswer answer = Ask(
            EncodePasswordBoundStart(bound ? HashPassword("p") : "", EncodeStartBlockRequest(Texts{}, false)),
            administrator);
        EXPECT_EQ(answer.start, StartOutcome::Refused);
        EXPECT_EQ(answer.failures, std::vector<ReportedFailure>{});
        EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts);
        EXPECT_EQ(ReadBytes(BackupPath()), "<missing>") << "a clean copy was kept";
        EXPECT_FALSE(state.blocking);
    }
}

TEST_F(ServiceRequests, AnUnreadableRequestIsAnsweredAndDoesNothing) {
    ScriptedCaller administrator(kCallers[0].groups);
    const std::string start = EncodeStartBlockRequest(kList, false);
    struct Case {
        const char* what;
        std::string bytes;
        MessageProblem problem;
    };
    const std::vector<Case> cases = {
        {"empty", "", MessageProblem::Truncated},
        {"cut short", start.substr(0, start.size() - 1), MessageProblem::Truncated},
        {"an answer sent back", EncodeStatusAnswer({}), MessageProblem::UnknownKind},
        {"a count past the body", start.substr(0, 13) + std::string("\xFF\xFF\xFF\x7F", 4) + start.substr(17),
         MessageProblem::BadCount},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        ServiceAnswer answer = Ask(test.bytes, administrator);
        EXPECT_EQ(answer.kind, MessageKind::MalformedAnswer);
        EXPECT_EQ(answer.problem, test.problem);
        EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts);
        EXPECT_EQ(ReadBytes(BackupPath()), "<missing>");
        EXPECT_EQ(administrator.asked, 0) << "nothing was decided for a request that could not be read";
    }
}

}  // namespace
