// The service's block, run in-process on a test pipe over a temporary tree: its entries kept
// across a restart, the check at start, the watch that puts the block back, and the event log
// entries it writes (through the log's seam: Wine's event log keeps nothing).
//
// Wine does not enforce access lists or elevation and every account in it is an administrator:
// each request here comes from an administrator's token.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BlockService.h"
#include "PasswordHash.h"
#include "ProgramPaths.h"
#include "ServicePipeClient.h"
#include "SharedList.h"
#include "service/HostsReset.h"
#include "support/InProcessPipe.h"
#include "support/ScriptedCaller.h"
#include "support/ServedPipe.h"
#include "support/BlockLine.h"
#include "support/RewriteInSteps.h"
#include "support/ServiceOnTree.h"
#include "support/TempTree.h"
#include "UserTexts.h"
#include "support/WaitUntil.h"

namespace {

const std::vector<std::string> kEntries = {"www.example.com", "m.example.org"};
constexpr char kClean[] = "127.0.0.1 localhost\r\n";

// The service's run on the tree, its event log entries recorded, on a clock the test moves.
class TreeService {
  public:
    explicit TreeService(const BlockingPlace& place)
        : service_(place, TestPipeName(), run, run, [this] { return ticks.load(); }) {}

    ServiceAnswer Ask(const std::string& request) {
        const ServiceExchange exchange = service_.Exchange(request);
        ServiceAnswer answer;
        EXPECT_EQ(exchange.outcome, ServiceExchange::Outcome::Answered) << "error " << exchange.error;
        EXPECT_EQ(DecodeAnswer(exchange.answer, answer), MessageProblem::None);
        return answer;
    }

    const std::string& PipeName() const { return service_.PipeName(); }

    // Waits up to waitMs for the count of event log entries to reach `count`; answers them.
    std::vector<std::pair<ServiceEvent, std::string>> EntriesWhen(size_t count, DWORD waitMs = 5000) {
        WaitUntil([&] { return run.Entries().size() >= count; }, waitMs);
        return run.Entries();
    }

    RecordedRun run;
    std::atomic<ULONGLONG> ticks{1000};

  private:
    ServiceOnTree service_;  // after `run` and `ticks`, which it uses
};

class BlockServiceRun : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        MakeDataFolder();
        WriteBytes(hostsPath, kClean);
    }

    std::unique_ptr<TreeService> Start() {
        return std::make_unique<TreeService>(BlockingPlace{hostsPath, dataFolder, &owners});
    }

    // Starts the block through a service's request and ends that service, so the next start is a
    // restart that finds the block kept.
    void BlockAndStopService() {
        auto service = Start();
        ServiceAnswer started = service->Ask(EncodeStartBlockRequest(kEntries, false));
        ASSERT_EQ(started.kind, MessageKind::StartBlockAnswer);
        ASSERT_EQ(started.start, StartOutcome::Written);
        // Kept once the answer is on its way, before the next request is served.
        service->Ask(EncodeStatusRequest());
        ASSERT_NE(ReadBytes(BlockedEntriesPath(dataFolder)), "<missing>") << "the entries were not kept";
    }

    std::string Blocked() const {
        return std::string(kClean) + "\r\n" + BlockLine(kEntries[0]) + BlockLine(kEntries[1]);
    }

    void ResetHosts() { ASSERT_TRUE(ResetHostsFile(hostsPath, kClean)) << "error " << GetLastError(); }

    // Waits up to 5 s for the hosts file to hold exactly `content`.
    bool HostsBecome(const std::string& content) {
        return WaitUntil([&] { return ReadBytes(hostsPath) == content; }, 5000);
    }
};

TEST_F(BlockServiceRun, KeepsItsBlockAcrossARestartAndPutsItBackAtStartAndOnEveryRemoval) {
    ASSERT_NO_FATAL_FAILURE(BlockAndStopService());
    ASSERT_EQ(ReadBytes(hostsPath), Blocked());

    // Reset while no service ran (Windows off, another system): the restarted service puts the
    // block back before it says it runs.
    WriteBytes(hostsPath, kClean);
    auto service = Start();
    ServiceAnswer status = service->Ask(EncodeStatusRequest());
    EXPECT_TRUE(status.status.blocking);
    EXPECT_EQ(status.status.entryCount, kEntries.size());
    EXPECT_EQ(ReadBytes(hostsPath), Blocked());
    auto entries = service->run.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].first, ServiceEvent::BlockPutBack);
    EXPECT_EQ(entries[0].second, BlockRemovedEventText(true, true, hostsPath, 1));

    // Two removals a minute apart while it runs: each put back, each one entry.
    for (size_t removal = 1; removal <= 2; ++removal) {
        SCOPED_TRACE("removal " + std::to_string(removal));
        service->ticks += 60 * 1000;
        ResetHosts();
        EXPECT_TRUE(HostsBecome(Blocked())) << ReadBytes(hostsPath);
        entries = service->EntriesWhen(1 + removal);
        Sleep(300);  // a second entry for the same removal would come now
        entries = service->run.Entries();
        ASSERT_EQ(entries.size(), 1 + removal);
        EXPECT_EQ(entries.back().first, ServiceEvent::BlockPutBack);
        EXPECT_EQ(entries.back().second, BlockRemovedEventText(false, true, hostsPath, 1));
    }
    // A program that looks too late to see a removal learns of it from the count: the one at
    // start and the two since.
    EXPECT_EQ(service->Ask(EncodeStatusRequest()).status.putBacks, 3u);

    // The stop puts the clean copy back and forgets the entries: nothing is watched or kept.
    ServiceAnswer stopped = service->Ask(EncodeStopBlockRequest(kEntries));
    EXPECT_EQ(stopped.stop, StopOutcome::Lifted);
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_EQ(ReadBytes(BlockedEntriesPath(dataFolder)), "<missing>");
    WriteBytes(hostsPath, "# edited\r\n");
    Sleep(500);
    EXPECT_EQ(ReadBytes(hostsPath), "# edited\r\n") << "a lifted block was put back";
    EXPECT_EQ(service->run.Entries().size(), 3u);
}

TEST_F(BlockServiceRun, TellsOfRemovalsAtMostOnceAMinuteWithTheirNumber) {
    ASSERT_NO_FATAL_FAILURE(BlockAndStopService());
    auto service = Start();
    ASSERT_TRUE(service->Ask(EncodeStatusRequest()).status.blocking);
    // A tool resets the hosts file again and again: every removal is put back, and the first is
    // told at once.
    for (int removal = 1; removal <= 10; ++removal) {
        SCOPED_TRACE("removal " + std::to_string(removal));
        service->ticks += 5 * 1000;
        ResetHosts();
        ASSERT_TRUE(HostsBecome(Blocked())) << ReadBytes(hostsPath);
    }
    EXPECT_EQ(service->Ask(EncodeStatusRequest()).status.putBacks, 10u);
    auto entries = service->run.Entries();
    ASSERT_EQ(entries.size(), 1u) << "removals within a minute were each told";
    EXPECT_EQ(entries[0].second, BlockRemovedEventText(false, true, hostsPath, 1));

    // The next removal after the minute is told with the nine held back.
    service->ticks += 15 * 1000;
    ResetHosts();
    ASSERT_TRUE(HostsBecome(Blocked())) << ReadBytes(hostsPath);
    entries = service->EntriesWhen(2);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].first, ServiceEvent::BlockPutBack);
    EXPECT_EQ(entries[1].second, BlockRemovedEventText(false, true, hostsPath, 10));
}

TEST_F(BlockServiceRun, SaysSoWhenARemovedBlockCannotBePutBack) {
    ASSERT_NO_FATAL_FAILURE(BlockAndStopService());
    WriteBytes(hostsPath, kClean);
    ASSERT_TRUE(SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY));
    auto service = Start();
    ServiceAnswer status = service->Ask(EncodeStatusRequest());
    EXPECT_TRUE(status.status.blocking);
    EXPECT_FALSE(status.status.lastPutBackSucceeded);
    auto entries = service->run.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].first, ServiceEvent::PutBackRefused) << entries[0].second;
    EXPECT_EQ(ReadBytes(hostsPath), kClean);

    // Tried again at the next change, refused again, and not logged twice for one removal.
    WriteBytes(hostsPath + ".other", "x");
    Sleep(500);
    EXPECT_EQ(service->run.Entries().size(), 1u);
    // Once the file can be written, the next change puts the block back.
    ASSERT_TRUE(SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(HostsBecome(Blocked())) << ReadBytes(hostsPath);
    entries = service->EntriesWhen(2);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].first, ServiceEvent::BlockPutBack);
    EXPECT_TRUE(service->Ask(EncodeStatusRequest()).status.lastPutBackSucceeded);
}

TEST_F(BlockServiceRun, KeptEntriesThatDoNotReadLeaveNothingToPutBack) {
    struct Row {
        const char* what;
        int keep;  // bytes of the kept file left; -1 for no file, -2 for other bytes
    };
    const Row rows[] = {{"cut short", 30}, {"emptied", 0}, {"gone", -1}, {"not written by the service", -2}};
    // The block removed by an edit, so the clean copy is not the hosts file's content.
    const std::string edited = std::string(kClean) + "# edited\r\n";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_NO_FATAL_FAILURE(BlockAndStopService());
        const std::string kept = BlockedEntriesPath(dataFolder);
        if (row.keep == -1)
            DeleteFileA(kept.c_str());
        else
            WriteBytes(kept, row.keep == -2 ? std::string(64, 'x') : ReadBytes(kept).substr(0, row.keep));
        WriteBytes(hostsPath, edited);

        auto service = Start();
        ServiceAnswer status = service->Ask(EncodeStatusRequest());
        EXPECT_FALSE(status.status.blocking);
        EXPECT_EQ(status.status.entryCount, 0u);
        auto entries = service->run.Entries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].first, ServiceEvent::EntriesUnreadable);
        EXPECT_EQ(ReadBytes(hostsPath), edited);
        // The stop still puts the clean copy back.
        EXPECT_EQ(service->Ask(EncodeStopBlockRequest(kEntries)).stop, StopOutcome::Lifted);
    }
}

// Wine elevates every program: here the service answers without its pipe, to an administrator's
// program that is not elevated (the Administrators group for deny only), as the pipe server would.
TEST_F(BlockServiceRun, TheBlocksPasswordIsKeptWithItAcrossARestart) {
    RecordedRun run;
    DirectBlocker blocker(BlockingPlace{hostsPath, dataFolder, &owners});
    StartWithWindowsPlace startWithWindows;
    ScriptedCaller caller(std::vector<ScriptedGroup>{{kAdministratorsSid, SE_GROUP_USE_FOR_DENY_ONLY}});
    const auto service = [&] {
        auto made = std::make_unique<BlockService>(
            BlockServiceParts{blocker, startWithWindows, hostsPath, BlockedEntriesPath(dataFolder), run});
        made->Resume();
        return made;
    };
    const auto ask = [&](BlockService& on, const std::string& request) {
        ServiceAnswer answer;
        EXPECT_EQ(DecodeAnswer(on.Answer(request, caller), answer), MessageProblem::None);
        on.AfterAnswer(request);
        return answer;
    };
    auto first = service();
    ASSERT_EQ(
        ask(*first, EncodePasswordBoundStart(HashPassword("old"), EncodeStartBlockRequest(kEntries, false)))
            .start,
        StartOutcome::Written);
    EXPECT_EQ(ask(*first, EncodeChangePasswordRequest("old", HashPassword("new"))).passwordChange,
              PasswordChangeOutcome::Changed);
    first.reset();

    auto restarted = service();
    EXPECT_TRUE(restarted->State().blocking);
    EXPECT_EQ(ask(*restarted, EncodeStopBlockRequest(kEntries)).stop, StopOutcome::WrongPassword);
    EXPECT_EQ(ask(*restarted, EncodeStopBlockRequest(kEntries, "old")).stop, StopOutcome::WrongPassword);
    EXPECT_EQ(ReadBytes(hostsPath), Blocked());
    EXPECT_EQ(ask(*restarted, EncodeStopBlockRequest(kEntries, "new")).stop, StopOutcome::Lifted);
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
}

TEST_F(BlockServiceRun, ACleanCopyItsStopPutBackButCouldNotDeleteIsToldAndGoneAtTheNextStart) {
    const std::string backup = dataFolder + "\\hosts";
    auto service = Start();
    ASSERT_EQ(service->Ask(EncodeStartBlockRequest(kEntries, false)).start, StartOutcome::Written);
    {
        // Another program (a backup tool, a scanner) holds the copy open without delete sharing.
        UniqueFile holder{
            CreateFileA(backup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)};
        ASSERT_TRUE(holder);
        const ServiceAnswer stopped = service->Ask(EncodeStopBlockRequest(kEntries));
        EXPECT_EQ(stopped.stop, StopOutcome::Lifted);
        ASSERT_EQ(stopped.failures.size(), 1u) << "the copy left behind is told";
        EXPECT_EQ(stopped.failures[0].line, 106);
        EXPECT_EQ(stopped.failures[0].location, "in Nestwarden2021/08/31.Form1.StopBlocking ");
    }
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_EQ(ReadBytes(backup), kClean);

    // Started again, the service finds the copy equal to the hosts file and no entries kept: the
    // copy goes, nothing is put back, and there is nothing to log.
    service.reset();
    service = Start();
    EXPECT_FALSE(service->Ask(EncodeStatusRequest()).status.blocking);
    EXPECT_EQ(ReadBytes(backup), "<missing>");
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_TRUE(service->run.Entries().empty()) << service->run.Entries()[0].second;
}

TEST_F(BlockServiceRun, ResumesOnlyTheBlockThatWasWrittenLast) {
    const std::vector<std::string> newList = {"www.example.net"};
    const std::string newBlock = std::string(kClean) + "\r\n" + BlockLine(newList[0]);
    struct Row {
        const char* what;
        bool liftAndBlockDirectly;  // else the kept entries are older than the block, which holds one
        std::string hosts;          // the hosts file the restarted service finds
        size_t entries;             // the entries it then guards
    };
    const Row rows[] = {
        {"the program lifted and blocked a new list itself", true, newBlock, newList.size()},
        {"kept entries of which the hosts file holds one", false,
         std::string(kClean) + "\r\n" + BlockLine(kEntries[1]), 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_NO_FATAL_FAILURE(BlockAndStopService());
        if (row.liftAndBlockDirectly) {
            DirectBlocker direct(BlockingPlace{hostsPath, dataFolder, &owners});
            CollectedFailures report;
            ASSERT_EQ(direct.Stop(ListedEntries(kEntries), true, report, [] {}), StopOutcome::Lifted);
            EXPECT_EQ(ReadBytes(BlockedEntriesPath(dataFolder)), "<missing>") << "the lift kept the entries";
            ASSERT_EQ(direct.Start(ListedEntries(newList), true, false, report), StartOutcome::Written);
            EXPECT_EQ(ReadBytes(BlockedEntriesPath(dataFolder)), EncodeStartBlockRequest(newList, false))
                << "the start did not keep its own entries";
        }
        WriteBytes(hostsPath, row.hosts);

        auto service = Start();
        ServiceAnswer status = service->Ask(EncodeStatusRequest());
        EXPECT_TRUE(status.status.blocking);
        EXPECT_EQ(status.status.entryCount, row.entries);
        EXPECT_EQ(ReadBytes(hostsPath), row.hosts) << "lifted sites were put back";
        EXPECT_TRUE(service->run.Entries().empty()) << service->run.Entries()[0].second;
        EXPECT_EQ(service->Ask(EncodeStopBlockRequest(kEntries)).stop, StopOutcome::Lifted);
    }
}

// The check waits until a program that rewrites the hosts file in steps is done, so every
// put-back keeps what that program wrote.
TEST_F(BlockServiceRun, APutBackKeepsWhatAProgramWritingTheFileInStepsWrote) {
    auto service = Start();
    ASSERT_EQ(service->Ask(EncodeStartBlockRequest(kEntries, false)).start, StartOutcome::Written);
    for (int rewrite = 0; rewrite < 13; ++rewrite) {
        SCOPED_TRACE("rewrite " + std::to_string(rewrite));
        const std::string clean = kClean + std::string("# rewritten ") + std::to_string(rewrite) + "\r\n";
        ASSERT_TRUE(RewriteInSteps(hostsPath, clean, 20 + rewrite * 37 % 150));
        ASSERT_TRUE(HostsBecome(clean + "\r\n" + BlockLine(kEntries[0]) + BlockLine(kEntries[1])))
            << ReadBytes(hostsPath);
    }
}

// A file as a caller shares a start's list in: the header that says how many of the request's
// bytes are written and whether it is complete, then the first `held` bytes of the request.
UniqueFile SharedFile(const std::string& path, const std::string& request, LONG written, bool complete,
                      size_t held = std::string::npos) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    std::string bytes(kSharedListHeaderSize, '\0');
    const LONG header[2] = {written, complete ? 1 : 0};
    std::memcpy(bytes.data(), header, sizeof header);
    bytes += request.substr(0, held);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
    return file;
}

// The service reads a caller's list with ReadFile, never through memory the caller controls: on
// Windows a mapped view of a file on a full volume faults when read, which ended the service. Wine
// reads such a view as zeros, so the fault itself cannot be shown here; what shows the reading is
// that a section is refused, and so is a file that holds less than it says is written.
TEST_F(BlockServiceRun, ASharedListIsWrittenWhenWholeAndRefusedWithoutAWriteOtherwise) {
    auto service = Start();
    const std::string request = EncodeStartBlockRequest(kEntries, false);
    const auto whole = static_cast<LONG>(request.size());
    std::string countOff = request, lengthOff = request;
    countOff[13] = 3;            // three entries said, two there
    lengthOff[17 + 3] = '\x7F';  // the first entry's length far past the request
    const std::string noEntries = EncodeStartBlockRequest(std::vector<std::string>{}, false);
    UniqueKernelHandle notAFile(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    UniqueKernelHandle section(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1 << 20, nullptr));
    HANDLE pipeRead = nullptr, pipeWrite = nullptr;
    ASSERT_TRUE(CreatePipe(&pipeRead, &pipeWrite, nullptr, 0));
    UniqueKernelHandle pipeEnds[] = {UniqueKernelHandle(pipeRead), UniqueKernelHandle(pipeWrite)};
    UniqueFile files[] = {
        SharedFile(root + "\\short", request, whole, true, request.size() / 2),
        SharedFile(root + "\\count", countOff, whole, true),
        SharedFile(root + "\\length", lengthOff, whole, true),
        SharedFile(root + "\\stalled", request, 20, false),
        SharedFile(root + "\\empty", noEntries, static_cast<LONG>(noEntries.size()), true),
    };
    struct Row {
        const char* what;
        HANDLE handle;
        bool reported;  // a failed step is reported; otherwise the refusal comes with nothing
    };
    const Row rows[] = {
        {"not a file", notAFile.get(), false},
        {"a section, which the service would have to map", section.get(), false},
        {"a pipe, whose read would wait for its writer", pipeRead, false},
        {"bytes said written that the file does not hold", files[0].get(), true},
        {"a count that is not its entries'", files[1].get(), true},
        {"an entry longer than the request", files[2].get(), true},
        {"never completed", files[3].get(), true},
        {"no entries", files[4].get(), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ULONGLONG asked = GetTickCount64();
        ServiceAnswer answer = service->Ask(EncodeSharedStartBlockRequest(HandleToULong(row.handle), false));
        EXPECT_EQ(answer.start, StartOutcome::Refused);
        ASSERT_EQ(answer.failures.size(), row.reported ? 1u : 0u);
        if (row.reported) {
            EXPECT_EQ(answer.failures[0].line, 120);
        }
        // A caller that stops writing is given up four seconds after the service opened its list.
        if (std::string(row.what) == "never completed") {
            EXPECT_GE(GetTickCount64() - asked, 3900u);
        }
        EXPECT_EQ(ReadBytes(hostsPath), kClean);
        EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>") << "the clean copy taken stayed";
        EXPECT_FALSE(service->Ask(EncodeStatusRequest()).status.blocking);
    }

    UniqueFile file = SharedFile(root + "\\whole", request, whole, true);
    const std::string hash = HashPassword("p");
    ServiceAnswer answer = service->Ask(
        EncodePasswordBoundStart(hash, EncodeSharedStartBlockRequest(HandleToULong(file.get()), false)));
    EXPECT_EQ(answer.start, StartOutcome::Written);
    EXPECT_EQ(ReadBytes(hostsPath), Blocked());
    // Its entries are the service's own once it answered, and kept as the request that wrote them,
    // bound to the password that came on the pipe.
    EXPECT_EQ(service->Ask(EncodeStatusRequest()).status.entryCount, kEntries.size());
    EXPECT_EQ(ReadBytes(BlockedEntriesPath(dataFolder)), EncodePasswordBoundStart(hash, request));
}

// The service manager waits for a stop no longer than the service's hint of three seconds: a start
// that waits for a stalled program's list must not hold the stop up.
TEST_F(BlockServiceRun, AStopEndsAStartThatWaitsForItsList) {
    auto service = Start();
    ASSERT_FALSE(service->Ask(EncodeStatusRequest()).status.blocking);
    const std::string request = EncodeStartBlockRequest(kEntries, false);
    UniqueFile stalled = SharedFile(root + "\\stalled", request, 20, false);
    ServicePipeOptions options = InProcessPipeOptions(service->PipeName());
    ServiceExchange exchange;
    std::thread program([&] {
        exchange =
            ExchangeWithService(EncodeSharedStartBlockRequest(HandleToULong(stalled.get()), false), options);
    });
    Sleep(500);  // the service waits for the rest of the list by now
    const ULONGLONG stopped = GetTickCount64();
    service.reset();
    const ULONGLONG took = GetTickCount64() - stopped;
    program.join();
    EXPECT_LT(took, 3000u) << "the stop took " << took << " ms";
    ServiceAnswer answer;
    if (exchange.outcome == ServiceExchange::Outcome::Answered &&
        DecodeAnswer(exchange.answer, answer) == MessageProblem::None) {
        EXPECT_NE(answer.start, StartOutcome::Written);
    }
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>") << "the clean copy taken stayed";
}

}  // namespace

namespace {

// The schedule's clock, moved by the test, and one zone: an hour east of UTC, without daylight
// saving (the daylight-saving nights are the schedule's own tests).
class TestClock final : public ScheduleClock {
  public:
    UtcTime now = 0;
    UtcTime Now() override { return now; }
    std::optional<TIME_ZONE_INFORMATION> Zone(const std::string& zoneName) override {
        if (zoneName != "Test Standard Time") return std::nullopt;
        TIME_ZONE_INFORMATION zone{};
        zone.Bias = -60;
        return zone;
    }
};

// A local time of that zone (December 2026: the 7th is a Monday) as UTC.
UtcTime Local(WORD day, WORD hour, WORD minute = 0) {
    SYSTEMTIME time{2026, 12, 0, day, hour, minute, 0, 0};
    FILETIME file;
    SystemTimeToFileTime(&time, &file);
    return ((static_cast<UtcTime>(file.dwHighDateTime) << 32) | file.dwLowDateTime) - 60 * kUtcTicksPerMinute;
}

// Blocked on Monday evenings and across the week's end, Sunday 23:30 to Monday 00:30.
constexpr char kScheduleText[] =
    "Parvalisk schedule 1\r\nZone: Test Standard Time\r\nFollowed: yes\r\nMonday: 00:00-00:30, "
    "20:00-24:00\r\n"
    "Tuesday: \r\nWednesday: \r\nThursday: \r\nFriday: \r\nSaturday: \r\nSunday: 23:30-24:00\r\n";

// Each step of the clock is a wake of the service's timer, or a jump of the clock it is told of.
TEST_F(BlockServiceRun, FollowsItsScheduleAndLiftsByItsClockAcrossRestarts) {
    RecordedRun run;
    TestClock clock;
    DirectBlocker blocker(BlockingPlace{hostsPath, dataFolder, &owners});
    StartWithWindowsPlace startWithWindows;
    ScriptedCaller caller(std::vector<ScriptedGroup>{{kAdministratorsSid, SE_GROUP_USE_FOR_DENY_ONLY}});
    std::unique_ptr<BlockService> service;
    const auto restart = [&] {
        service.reset();
        BlockServiceParts parts{blocker, startWithWindows, hostsPath, BlockedEntriesPath(dataFolder), run};
        parts.clock = &clock;
        service = std::make_unique<BlockService>(parts);
        service->Resume();
    };
    const auto ask = [&](const std::string& request) {
        ServiceAnswer answer;
        EXPECT_EQ(DecodeAnswer(service->Answer(request, caller), answer), MessageProblem::None);
        service->AfterAnswer(request);
        return answer;
    };
    const auto at = [&](UtcTime when) {
        clock.now = when;
        service->Schedule().Follow();
    };
    const auto lastEvent = [&] {
        return run.Entries().empty() ? ServiceEvent{} : run.Entries().back().first;
    };

    clock.now = Local(7, 18);
    restart();
    EXPECT_EQ(
        ask(EncodeSaveScheduleRequest("", HashPassword("pw"), "Parvalisk schedule 1\r\n", kEntries)).schedule,
        ScheduleOutcome::Refused);
    ASSERT_EQ(ask(EncodeSaveScheduleRequest("", HashPassword("pw"), kScheduleText, kEntries)).schedule,
              ScheduleOutcome::Saved);
    ServiceStatus status = ask(EncodeStatusRequest()).status;
    EXPECT_TRUE(status.scheduleFollowed);
    EXPECT_EQ(status.schedule, kScheduleText);
    EXPECT_EQ(status.nextChange, Local(7, 20));
    EXPECT_EQ(ReadBytes(hostsPath), kClean);

    at(Local(7, 20));
    EXPECT_EQ(ReadBytes(hostsPath), Blocked()) << "the evening's edge";
    EXPECT_EQ(lastEvent(), ServiceEvent::ScheduledStart);
    EXPECT_EQ(ask(EncodeStatusRequest()).status.nextChange, Local(8, 0));

    // A lift needs the schedule's password and a length from a minute to a day; it survives a
    // restart, and its end brings the block back.
    EXPECT_EQ(ask(EncodeLiftRequest("", 30)).lift, LiftOutcome::WrongPassword);
    EXPECT_EQ(ask(EncodeLiftRequest("pw", 0)).lift, LiftOutcome::Refused);
    EXPECT_EQ(ask(EncodeLiftRequest("pw", kLongestLiftMinutes + 1)).lift, LiftOutcome::Refused);
    const ServiceAnswer lifted = ask(EncodeLiftRequest("pw", 30));
    EXPECT_EQ(lifted.lift, LiftOutcome::Lifted);
    EXPECT_EQ(lifted.liftedUntil, Local(7, 20, 30));
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    clock.now = Local(7, 20, 10);
    restart();
    EXPECT_EQ(ReadBytes(hostsPath), kClean) << "still lifted after a restart";
    EXPECT_EQ(ask(EncodeStatusRequest()).status.liftedUntil, Local(7, 20, 30));
    at(Local(7, 20, 30));
    EXPECT_EQ(ReadBytes(hostsPath), Blocked()) << "the lift's end";

    // A Stop by hand inside a blocked time holds until the schedule next begins a block: across
    // the next edge, to Sunday night, and through the week's end to Monday 00:30.
    EXPECT_EQ(ask(EncodeStopBlockRequest(kEntries, "pw")).stop, StopOutcome::Lifted);
    at(Local(8, 0));
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_EQ(ask(EncodeStatusRequest()).status.nextChange, Local(13, 23, 30));
    at(Local(13, 23, 30));
    EXPECT_EQ(ReadBytes(hostsPath), Blocked()) << "Sunday night's edge";
    at(Local(14, 0));
    EXPECT_EQ(ReadBytes(hostsPath), Blocked()) << "no edge at the week's end";
    EXPECT_EQ(ask(EncodeStatusRequest()).status.nextChange, Local(14, 0, 30));
    at(Local(14, 0, 30));
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_EQ(lastEvent(), ServiceEvent::ScheduledLift);
    EXPECT_EQ(ask(EncodePutBackRequest(kEntries)).putBack, PutBackOutcome::Refused)
        << "a program's watch undoes no lift of the schedule";
    EXPECT_EQ(ReadBytes(hostsPath), kClean);

    // Off through an edge (a reboot inside a blocked time): the block is in force at the start.
    service.reset();
    clock.now = Local(14, 21);
    restart();
    EXPECT_EQ(ReadBytes(hostsPath), Blocked());

    // A schedule damaged while the service was away lifts nothing; the status says so.
    service.reset();
    WriteBytes(ScheduleFilePath(dataFolder), "Parvalisk schedule 1\r\nZone: Te");
    clock.now = Local(15, 1);
    restart();
    EXPECT_EQ(ReadBytes(hostsPath), Blocked());
    EXPECT_EQ(lastEvent(), ServiceEvent::ScheduleUnreadable);
    EXPECT_TRUE(ask(EncodeStatusRequest()).status.scheduleUnreadable);
    EXPECT_EQ(ask(EncodeStopBlockRequest(kEntries, "pw")).stop, StopOutcome::Lifted);
}

}  // namespace
