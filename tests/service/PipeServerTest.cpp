// The service's pipe server, served in-process on a test pipe: answers, callers, clients that
// stall or send too much, and a name another program made first.
//
// Wine does not enforce access lists, elevation or FILE_FLAG_FIRST_PIPE_INSTANCE, and every
// account in it is an administrator: these tests show the list the pipe is given, not that
// Windows keeps others out by it, and a standard user's token cannot be shown here.

#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Failure.h"
#include "PipeSecurity.h"
#include "SecurityIds.h"
#include "ServicePipeClient.h"
#include "ServiceRun.h"
#include "support/InProcessPipe.h"
#include "support/ServedPipe.h"
#include "UserTexts.h"
#include "support/WaitUntil.h"

namespace {

// Echoes each request, and keeps the group SIDs each caller's token gave.
struct EchoRecorder {
    std::mutex mutex;
    std::vector<std::vector<Sid>> callers;

    RequestHandler Handler() {
        return [this](std::string_view request, CallerGroups& caller) {
            std::vector<Sid> sids;
            const TokenGroupList* groups = caller.Groups();
            for (size_t i = 0; groups != nullptr && i < groups->Count(); ++i) {
                const BYTE* sid = static_cast<const BYTE*>(groups->Groups()->Groups[i].Sid);
                sids.emplace_back(sid, sid + GetLengthSid(groups->Groups()->Groups[i].Sid));
            }
            std::lock_guard lock(mutex);
            callers.push_back(std::move(sids));
            // A request "big:<n>" asks for an answer of n bytes.
            if (request.substr(0, 4) == "big:")
                return std::string(std::stoul(std::string(request.substr(4))), 'b');
            return std::string(request);
        };
    }
};

// A client that opens the pipe as the program does, and then does only what the test says.
UniqueFile OpenRawClient(const std::string& name) {
    UniqueFile pipe;
    for (int attempt = 0; attempt < 20 && !pipe; ++attempt) {
        pipe = UniqueFile(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        // Every instance was taken a moment ago: the server makes the next one.
        if (!pipe && GetLastError() == ERROR_PIPE_BUSY) WaitNamedPipeA(name.c_str(), 1000);
    }
    EXPECT_TRUE(pipe) << "could not connect, error " << GetLastError();
    if (pipe) {
        DWORD mode = PIPE_READMODE_MESSAGE;
        EXPECT_TRUE(SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr));
    }
    return pipe;
}

// Milliseconds until the server ends the client's connection, or ~0 when it is still open
// after waitMs.
ULONGLONG MsUntilDropped(HANDLE client, DWORD waitMs) {
    const ULONGLONG start = GetTickCount64();
    const bool dropped = WaitUntil(
        [&] {
            DWORD available = 0;
            return !PeekNamedPipe(client, nullptr, 0, nullptr, &available, nullptr);
        },
        waitMs, 25);
    return dropped ? GetTickCount64() - start : ~0ull;
}

TEST(PipeServer, AnswersSeveralClientsAtOnceEachWithItsOwnAnswer) {
    EchoRecorder recorder;
    ServedPipe served(recorder.Handler());
    ServicePipeOptions options = InProcessPipeOptions(served.Name());

    // Requests of one byte, of several read chunks and of none at all, sent by clients at once.
    const std::vector<std::string> requests = {
        "a", std::string(300 * 1024, 'x') + "end", "", "status", std::string(70 * 1024, 'y'), "6", "7", "8"};
    std::vector<ServiceExchange> results(requests.size());
    std::vector<std::thread> clients;
    for (std::size_t i = 0; i < requests.size(); ++i)
        clients.emplace_back([&, i] { results[i] = ExchangeWithService(requests[i], options); });
    for (auto& client : clients) client.join();

    for (std::size_t i = 0; i < requests.size(); ++i) {
        SCOPED_TRACE("request " + std::to_string(i) + " of " + std::to_string(requests[i].size()) + " bytes");
        EXPECT_EQ(results[i].outcome, ServiceExchange::Outcome::Answered) << "error " << results[i].error;
        EXPECT_TRUE(results[i].answer == requests[i]) << "answer of " << results[i].answer.size() << " bytes";
    }

    // Each caller was learned from its own token (under Wine every account holds Administrators).
    const Sid administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    std::lock_guard lock(recorder.mutex);
    ASSERT_EQ(recorder.callers.size(), requests.size());
    for (const auto& sids : recorder.callers)
        EXPECT_NE(std::find(sids.begin(), sids.end(), administrators), sids.end()) << "groups not read";
}

TEST(PipeServer, ClientRefusesAnAnswerOverItsLimit) {
    struct Row {
        const char* request;
        ServiceExchange::Outcome outcome;
        DWORD error;
    };
    const Row rows[] = {{"big:4096", ServiceExchange::Outcome::Answered, ERROR_SUCCESS},
                        {"big:4097", ServiceExchange::Outcome::Failed, ERROR_BUFFER_OVERFLOW},
                        {"big:300000", ServiceExchange::Outcome::Failed, ERROR_BUFFER_OVERFLOW}};
    EchoRecorder recorder;
    ServedPipe served(recorder.Handler());
    ServicePipeOptions options = InProcessPipeOptions(served.Name());
    options.answerLimit = 4096;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.request);
        ServiceExchange exchange = ExchangeWithService(row.request, options);
        EXPECT_EQ(exchange.outcome, row.outcome);
        EXPECT_EQ(exchange.error, row.error);
    }
}

TEST(PipeServer, StalledOrIdleClientHoldsNobodyUpAndIsDroppedAfterItsLimit) {
    struct Row {
        const char* what;
        std::string request;  // sent before the client stalls; none when empty
        bool readsAnswer;     // the answer is read, and the client is then idle between requests
        ULONGLONG droppedAfterMs;
    };
    // The idle limit is short here so the test need not wait the real one.
    PipeServerLimits limits;
    limits.idleMs = 2000;
    const Row rows[] = {
        {"connects and sends nothing", "", false, limits.idleMs},
        {"asks, reads its answer and sends nothing more", "ping", true, limits.idleMs},
        {"asks and never reads its answer", "big:1048576", false, limits.silenceMs},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EchoRecorder recorder;
        ServedPipe served(recorder.Handler(), limits);
        UniqueFile stalled = OpenRawClient(served.Name());
        ASSERT_TRUE(stalled);
        ULONGLONG stalledAt = GetTickCount64();
        if (!row.request.empty()) {
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(stalled.get(), row.request.data(), static_cast<DWORD>(row.request.size()),
                                  &written, nullptr));
        }
        if (row.readsAnswer) {
            char answer[64];
            DWORD read = 0;
            ASSERT_TRUE(ReadFile(stalled.get(), answer, sizeof answer, &read, nullptr));
            stalledAt = GetTickCount64();
        }

        // Another client is answered at once, while the first one holds its instance.
        ServicePipeOptions options = InProcessPipeOptions(served.Name());
        options.timeoutMs = 2000;
        const ULONGLONG askedAt = GetTickCount64();
        ServiceExchange other = ExchangeWithService("other", options);
        EXPECT_EQ(other.outcome, ServiceExchange::Outcome::Answered) << "error " << other.error;
        EXPECT_EQ(other.answer, "other");
        EXPECT_LT(GetTickCount64() - askedAt, 1000u);

        // The stalled client loses its connection once its limit is over, not before.
        const ULONGLONG dropped = MsUntilDropped(stalled.get(), 9000);
        ASSERT_NE(dropped, ~0ull) << "still connected after 9 s";
        const ULONGLONG quietFor = GetTickCount64() - stalledAt;
        EXPECT_GE(quietFor, row.droppedAfterMs - 500);
        EXPECT_LE(quietFor, row.droppedAfterMs + 2000);
    }
}

TEST(PipeServer, FullServerMakesRoomByClosingTheClientIdleLongest) {
    PipeServerLimits limits;
    limits.instances = 3;
    EchoRecorder recorder;
    ServedPipe served(recorder.Handler(), limits);
    // Two clients connect and sit there; the third instance waits for the next client.
    UniqueFile oldest = OpenRawClient(served.Name());
    Sleep(50);
    UniqueFile younger = OpenRawClient(served.Name());
    ASSERT_TRUE(oldest && younger);
    Sleep(600);  // past the moment a client just connected is given to ask

    ServicePipeOptions options = InProcessPipeOptions(served.Name());
    options.timeoutMs = 3000;
    const ULONGLONG askedAt = GetTickCount64();
    ServiceExchange asked = ExchangeWithService("administrator", options);
    EXPECT_EQ(asked.answer, "administrator") << "error " << asked.error;
    EXPECT_LT(GetTickCount64() - askedAt, 1000u) << "kept waiting by idle clients";
    // The exchange took the last instance, and the client idle the longest made room for the
    // next; the other idle one kept its connection.
    EXPECT_NE(MsUntilDropped(oldest.get(), 1000), ~0ull) << "the oldest idle client kept its connection";
    EXPECT_EQ(MsUntilDropped(younger.get(), 300), ~0ull) << "a younger idle client was closed";
}

TEST(PipeServer, ClientJustConnectedIsNotTheOneToMakeRoom) {
    PipeServerLimits limits;
    limits.instances = 3;
    EchoRecorder recorder;
    ServedPipe served(recorder.Handler(), limits);
    // Two clients ask for long answers and do not read them: their instances are busy, not idle.
    std::vector<UniqueFile> busy;
    for (int i = 0; i < 2; ++i) {
        busy.push_back(OpenRawClient(served.Name()));
        const std::string request = "big:1048576";
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(busy.back().get(), request.data(), static_cast<DWORD>(request.size()), &written,
                              nullptr));
    }
    // The next client takes the last instance, and is the only one connected with nothing under
    // way; it is given a moment to ask.
    UniqueFile next = OpenRawClient(served.Name());
    ASSERT_TRUE(next);
    Sleep(200);
    const std::string request = "administrator";
    DWORD written = 0, read = 0;
    char answer[64] = {};
    ASSERT_TRUE(WriteFile(next.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr))
        << "closed before it could ask, error " << GetLastError();
    ASSERT_TRUE(ReadFile(next.get(), answer, sizeof answer, &read, nullptr)) << "error " << GetLastError();
    EXPECT_EQ(std::string(answer, read), request);
}

TEST(PipeServer, MessageOverTheLimitClosesOnlyItsConnection) {
    struct Row {
        std::size_t size;
        bool answered;
    };
    const Row rows[] = {{kServiceMessageLimit, true}, {kServiceMessageLimit + 1, false}};
    EchoRecorder recorder;
    ServedPipe served(recorder.Handler());
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.size) + " bytes");
        // A client that is connected already goes on being served.
        UniqueFile bystander = OpenRawClient(served.Name());
        ASSERT_TRUE(bystander);

        UniqueFile sender = OpenRawClient(served.Name());
        ASSERT_TRUE(sender);
        std::string request(row.size, 'r');
        DWORD written = 0;
        WriteFile(sender.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr);
        request.clear();
        request.shrink_to_fit();
        std::string answer;
        std::string chunk(1024 * 1024, '\0');
        for (;;) {
            DWORD read = 0;
            BOOL ok = ReadFile(sender.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr);
            answer.append(chunk.data(), read);
            if (ok || GetLastError() != ERROR_MORE_DATA) break;
        }
        EXPECT_EQ(answer.size(), row.answered ? row.size : 0u);
        if (!row.answered) {
            EXPECT_NE(MsUntilDropped(sender.get(), 1000), ~0ull) << "the connection stayed open";
        }

        const std::string ping = "still here";
        DWORD read = 0;
        char reply[64] = {};
        ASSERT_TRUE(
            WriteFile(bystander.get(), ping.data(), static_cast<DWORD>(ping.size()), &written, nullptr));
        ASSERT_TRUE(ReadFile(bystander.get(), reply, sizeof reply, &read, nullptr))
            << "error " << GetLastError();
        EXPECT_EQ(std::string(reply, read), ping);
    }
}

// Takes the process's free address space, then gives back `kept` pieces of `piece` bytes that do
// not touch: until it goes, nothing larger than a piece can be allocated, and small things can.
class ScarceAddressSpace {
  public:
    ScarceAddressSpace(SIZE_T piece, std::size_t kept) {
        std::vector<void*> pieces;
        for (const SIZE_T size : {piece, SIZE_T{1024 * 1024}, SIZE_T{64 * 1024}}) {
            while (void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) {
                (size == piece ? pieces : blocks_).push_back(block);
            }
        }
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (i % 2 == 0 && i / 2 < kept)
                VirtualFree(pieces[i], 0, MEM_RELEASE);
            else
                blocks_.push_back(pieces[i]);
        }
    }
    ~ScarceAddressSpace() { Release(); }
    void Release() {
        for (void* block : blocks_) VirtualFree(block, 0, MEM_RELEASE);
        blocks_.clear();
    }

  private:
    std::vector<void*> blocks_;
};

// A request is read into memory that grows with it: a request the server has no room for closes
// its own connection, and the server goes on serving everyone else.
TEST(PipeServer, RequestThatFindsNoMemoryClosesOnlyItsConnection) {
    EchoRecorder recorder;
    ServedPipe served(recorder.Handler());
    UniqueFile bystander = OpenRawClient(served.Name());
    UniqueFile sender = OpenRawClient(served.Name());
    ASSERT_TRUE(bystander && sender);
    // Far within the message limit, but more than the largest piece of memory left.
    const std::string request(40 * 1024 * 1024, 'r');
    BOOL sent = FALSE;
    {
        ScarceAddressSpace scarce(16 * 1024 * 1024, 8);
        DWORD written = 0;
        sent = WriteFile(sender.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr);
    }
    EXPECT_FALSE(sent) << "the whole request was read";
    EXPECT_NE(MsUntilDropped(sender.get(), 1000), ~0ull) << "the connection stayed open";

    const std::string ping = "still here";
    DWORD written = 0, read = 0;
    char reply[64] = {};
    ASSERT_TRUE(WriteFile(bystander.get(), ping.data(), static_cast<DWORD>(ping.size()), &written, nullptr));
    ASSERT_TRUE(ReadFile(bystander.get(), reply, sizeof reply, &read, nullptr)) << "error " << GetLastError();
    EXPECT_EQ(std::string(reply, read), ping);
    ServicePipeOptions options = InProcessPipeOptions(served.Name());
    EXPECT_EQ(ExchangeWithService("next", options).answer, "next");
    EXPECT_EQ(served.Stop(), "") << "serving ended";
}

TEST(ServiceRun, RefusesToRunOnAPipeMadeFirstByAnother) {
    struct Row {
        const char* what;
        bool instanceBusy;  // the other pipe's only instance serves a client
    };
    const Row rows[] = {{"an instance free", false}, {"its only instance busy", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string name = TestPipeName();
        UniqueFile taken(
            CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 512, 512, 0, nullptr));
        ASSERT_TRUE(taken);
        UniqueFile takenClient;
        if (row.instanceBusy)
            takenClient = UniqueFile(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));

        UniqueKernelHandle stop(CreateEventA(nullptr, TRUE, TRUE, nullptr));
        RecordedRun run;
        bool handled = false;
        DWORD exitCode = RunService({name, stop.get(), run, run, [&](std::string_view, CallerGroups&) {
                                         handled = true;
                                         return std::string();
                                     }});
        EXPECT_EQ(exitCode, static_cast<DWORD>(ERROR_PIPE_BUSY));
        const std::vector<std::pair<DWORD, DWORD>> expected = {{SERVICE_START_PENDING, NO_ERROR},
                                                               {SERVICE_STOPPED, ERROR_PIPE_BUSY}};
        EXPECT_EQ(run.states, expected) << "the run said it was running";
        ASSERT_EQ(run.entries.size(), 1u);
        EXPECT_EQ(run.entries[0].first, ServiceEvent::PipeTaken);
        EXPECT_EQ(run.entries[0].second, PipeTakenEventText(name));
        EXPECT_FALSE(handled);
    }
}

TEST(ServiceRun, ReportsRunningAndStopsPromptlyWithClientsConnected) {
    const std::string name = TestPipeName();
    UniqueKernelHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    RecordedRun run;
    DWORD exitCode = ~0u;
    std::thread service([&] {
        exitCode = RunService({name, stop.get(), run, run,
                               [](std::string_view request, CallerGroups&) { return std::string(request); }});
    });
    auto stopped = ScopeExit([&] {
        SetEvent(stop.get());
        if (service.joinable()) service.join();
    });
    ServicePipeOptions options = InProcessPipeOptions(name);
    ServiceExchange answered;
    for (int attempt = 0; attempt < 100 && answered.outcome != ServiceExchange::Outcome::Answered;
         ++attempt) {
        answered = ExchangeWithService("ping", options);
        if (answered.outcome != ServiceExchange::Outcome::Answered) Sleep(20);
    }
    EXPECT_EQ(answered.answer, "ping");
    // Clients that sit connected do not delay the stop.
    UniqueFile idle = OpenRawClient(name);
    UniqueFile asked = OpenRawClient(name);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(asked.get(), "x", 1, &written, nullptr));

    const ULONGLONG start = GetTickCount64();
    SetEvent(stop.get());
    service.join();
    EXPECT_LT(GetTickCount64() - start, 3000u);
    EXPECT_EQ(exitCode, static_cast<DWORD>(NO_ERROR));
    const std::vector<std::pair<DWORD, DWORD>> expected = {
        {SERVICE_START_PENDING, NO_ERROR}, {SERVICE_RUNNING, NO_ERROR}, {SERVICE_STOPPED, NO_ERROR}};
    EXPECT_EQ(run.states, expected);
    EXPECT_TRUE(run.entries.empty());
    EXPECT_NE(MsUntilDropped(idle.get(), 1000), ~0ull) << "a client stayed connected after the stop";
}

// Handles the server waits on besides its clients', none of them ever set: as many as it takes
// once `armed` (as the service's watch adds its handles when blocking starts), or, while `bad`
// counts down, one that is no handle at all.
struct QuietWaits final : ServerWaits {
    std::vector<UniqueKernelHandle> events;
    std::atomic<bool> armed{false};
    std::atomic<int> bad{0};
    QuietWaits() {
        for (std::size_t i = 0; i < kMaxServerWaits; ++i)
            events.emplace_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }
    std::vector<HANDLE> Handles() override {
        if (bad > 0 && bad-- > 0) return {reinterpret_cast<HANDLE>(0x7FFC)};
        std::vector<HANDLE> handles;
        for (const auto& event : events)
            if (armed) handles.push_back(event.get());
        return handles;
    }
    void Signalled(HANDLE) override {}
};

// The service's run on a thread of the test, stopped when the object goes.
class RunningService {
  public:
    explicit RunningService(ServerWaits& waits) {
        thread_ = std::thread([this, &waits] {
            exitCode =
                RunService({name,
                            stop_.get(),
                            run,
                            run,
                            [](std::string_view request, CallerGroups&) { return std::string(request); },
                            {},
                            {},
                            &waits});
        });
    }
    ~RunningService() { Stop(); }
    DWORD Stop() {
        SetEvent(stop_.get());
        if (thread_.joinable()) thread_.join();
        return exitCode;
    }
    ServiceExchange Ask(const std::string& request) const {
        ServicePipeOptions options = InProcessPipeOptions(name);
        options.timeoutMs = 3000;
        return ExchangeWithService(request, options);
    }
    // Asks again while the run is still making its pipe.
    ServiceExchange AskOnceUp(const std::string& request) const {
        ServiceExchange answered;
        for (int attempt = 0; attempt < 100 && answered.outcome != ServiceExchange::Outcome::Answered;
             ++attempt) {
            answered = Ask(request);
            if (answered.outcome != ServiceExchange::Outcome::Answered) Sleep(20);
        }
        return answered;
    }

    const std::string name = TestPipeName();
    RecordedRun run;
    DWORD exitCode = ~0u;

  private:
    UniqueKernelHandle stop_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::thread thread_;
};

TEST(ServiceRun, KeepsAnsweringThroughABurstOfConnectionsHeldOpen) {
    QuietWaits waits;
    RunningService service(waits);
    ASSERT_EQ(service.AskOnceUp("ping").answer, "ping");

    // Another program connects more clients than one wait could take, and holds them.
    std::vector<UniqueFile> held;
    for (int i = 0; i < 80; ++i) {
        UniqueFile client;
        for (int attempt = 0; attempt < 5 && !client; ++attempt) {
            client = UniqueFile(CreateFileA(service.name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
            if (!client) WaitNamedPipeA(service.name.c_str(), 200);
        }
        if (client) held.push_back(std::move(client));
    }
    EXPECT_EQ(held.size(), 80u) << "a client was kept out while others sat idle";
    // The block starts: the watch's handles join the wait.
    waits.armed = true;
    const ULONGLONG askedAt = GetTickCount64();
    ServiceExchange asked = service.Ask("start");
    EXPECT_EQ(asked.answer, "start") << "error " << asked.error;
    EXPECT_LT(GetTickCount64() - askedAt, 2000u);

    held.clear();
    EXPECT_EQ(service.Ask("after").answer, "after");
    const ULONGLONG stopAt = GetTickCount64();
    EXPECT_EQ(service.Stop(), static_cast<DWORD>(NO_ERROR));
    EXPECT_LT(GetTickCount64() - stopAt, 1000u) << "the instances left by the burst held up the stop";
    const std::vector<std::pair<DWORD, DWORD>> expected = {
        {SERVICE_START_PENDING, NO_ERROR}, {SERVICE_RUNNING, NO_ERROR}, {SERVICE_STOPPED, NO_ERROR}};
    EXPECT_EQ(service.run.States(), expected);
    EXPECT_TRUE(service.run.Entries().empty());
}

TEST(ServiceRun, TellsAFailedWaitOnceAndServesOn) {
    QuietWaits waits;
    waits.bad = 5;
    RunningService service(waits);
    const ServiceExchange answered = service.AskOnceUp("ping");
    EXPECT_EQ(answered.answer, "ping") << "error " << answered.error;
    EXPECT_EQ(waits.bad.load(), 0);
    EXPECT_EQ(service.Stop(), static_cast<DWORD>(NO_ERROR));
    const auto entries = service.run.Entries();
    ASSERT_EQ(entries.size(), 1u) << "a run of failed waits is told once";
    EXPECT_EQ(entries[0].first, ServiceEvent::WaitFailed);
}

struct AccessRow {
    WELL_KNOWN_SID_TYPE who;
    DWORD access;
};

// The access list of a kernel object, read through a handle to it, is exactly `expected`.
void ExpectAccessList(HANDLE object, const std::vector<AccessRow>& expected) {
    ACL* acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                              nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    UniqueLocalMemory ownedDescriptor(descriptor);
    ASSERT_NE(acl, nullptr) << "no list: everybody may open it";
    ASSERT_EQ(acl->AceCount, expected.size()) << "somebody else is in the list";
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        ACE_HEADER* header = nullptr;
        ASSERT_TRUE(GetAce(acl, i, reinterpret_cast<void**>(&header)));
        ASSERT_EQ(header->AceType, ACCESS_ALLOWED_ACE_TYPE);
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        EXPECT_TRUE(IsWellKnown(&ace->SidStart, expected[i].who));
        EXPECT_EQ(ace->Mask, expected[i].access);
    }
}

TEST(PipeSecurity, GivesFullAccessToSystemAndAdministratorsAndLittleToAuthenticatedUsers) {
    std::vector<BYTE> descriptor = PipeSecurityDescriptor();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.data(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the list would take entries from elsewhere";

    // The list the served pipe really has, read through a client's handle.
    ServedPipe served([](std::string_view request, CallerGroups&) { return std::string(request); });
    UniqueFile client = OpenRawClient(served.Name());
    ASSERT_TRUE(client);
    ExpectAccessList(client.get(),
                     {{WinLocalSystemSid, FILE_ALL_ACCESS},
                      {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                      {WinAuthenticatedUserSid, FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_EA |
                                                    FILE_WRITE_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE}});
    EXPECT_EQ(kPipeClientAccess & FILE_CREATE_PIPE_INSTANCE, 0u) << "users could make instances of the pipe";

    // The change signal: a user may wait on it, never set or reset it.
    std::vector<BYTE> signalDescriptor = ChangeSignalSecurityDescriptor();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, signalDescriptor.data(), FALSE};
    UniqueKernelHandle signal(CreateEventA(&attributes, TRUE, FALSE, nullptr));
    ASSERT_TRUE(signal);
    ExpectAccessList(signal.get(), {{WinLocalSystemSid, EVENT_ALL_ACCESS},
                                    {WinBuiltinAdministratorsSid, EVENT_ALL_ACCESS},
                                    {WinAuthenticatedUserSid, SYNCHRONIZE}});
}

}  // namespace

namespace {

// Makes the chosen call fail (once) and counts the calls; the real calls run otherwise, so the
// thread really impersonates and reverts.
struct FailingImpersonation final : ImpersonationCalls {
    enum class Fail { Impersonation, GroupRead, Revert } fail;
    explicit FailingImpersonation(Fail which) : fail(which) {}
    bool failed = false;
    int impersonated = 0, reverted = 0;

    BOOL ImpersonateNamedPipeClient(HANDLE pipe) override {
        if (fail == Fail::Impersonation && !std::exchange(failed, true)) return FALSE;
        BOOL ok = ImpersonationCalls::ImpersonateNamedPipeClient(pipe);
        impersonated += ok ? 1 : 0;
        return ok;
    }
    TokenGroupList ImpersonatedTokenGroups() override {
        if (fail == Fail::GroupRead && !std::exchange(failed, true))
            throw Failure("no token", ERROR_NO_TOKEN);
        return ImpersonationCalls::ImpersonatedTokenGroups();
    }
    BOOL RevertToSelf() override {
        BOOL ok = ImpersonationCalls::RevertToSelf();
        reverted += ok ? 1 : 0;
        if (fail == Fail::Revert && !std::exchange(failed, true)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return ok;
    }
};

// Wine lets every client be impersonated and its token read (an anonymous one too), so the
// failures are made through the calls' seam.
TEST(PipeServer, RefusesACallerItCannotIdentifyAndAlwaysReverts) {
    using Fail = FailingImpersonation::Fail;
    struct Row {
        Fail fail;
        bool serverGoesOn;  // a thread that could not revert must not serve anyone
    };
    const Row rows[] = {{Fail::Impersonation, true}, {Fail::GroupRead, true}, {Fail::Revert, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE("failing call " + std::to_string(static_cast<int>(row.fail)));
        FailingImpersonation calls(row.fail);
        int handled = 0;
        ServedPipe served(
            [&](std::string_view request, CallerGroups&) {
                ++handled;
                return std::string(request);
            },
            {}, &calls);
        ServicePipeOptions options = InProcessPipeOptions(served.Name());
        options.timeoutMs = 2000;

        ServiceExchange refused = ExchangeWithService("first", options);
        EXPECT_NE(refused.outcome, ServiceExchange::Outcome::Answered) << refused.answer;
        EXPECT_EQ(handled, 0);
        EXPECT_EQ(calls.reverted, calls.impersonated) << "a thread was left impersonating";

        ServiceExchange next = ExchangeWithService("second", options);
        if (row.serverGoesOn) {
            EXPECT_EQ(next.answer, "second") << "error " << next.error;
            EXPECT_EQ(served.Stop(), "");
        } else {
            EXPECT_NE(next.outcome, ServiceExchange::Outcome::Answered);
            EXPECT_NE(served.Stop(), "") << "the server went on after it could not revert";
        }
        EXPECT_EQ(calls.reverted, calls.impersonated) << "a thread was left impersonating";
    }
}

}  // namespace
