// The built ParvaliskService.exe in the test's Wine prefix: installed with its own /install,
// started and stopped by the service manager, answering on its pipe, and deleted again. The
// fixture removes the service whatever happens, so no service is left running or installed; the
// service's hosts file is a temporary one the machine's hosts folder points to while the test
// runs, and the prefix's data folder is put back byte for byte afterwards.
//
// Wine does not enforce access lists or elevation, and its event log keeps nothing: what the
// service writes there is shown through the log's seam in the in-process tests instead.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Handles.h"
#include "ProgramPaths.h"
#include "Schedule.h"
#include "ServiceInstall.h"
#include "ServicePipeClient.h"
#include "ServiceProtocol.h"
#include "service/HostsReset.h"
#include "support/BlockLine.h"
#include "support/RemoveTree.h"
#include "support/ServedPipe.h"
#include "support/SystemHostsFolder.h"
#include "UserTexts.h"
#include "support/WaitUntil.h"

namespace {

using UniqueServiceHandle = UniqueHandle<SC_HANDLE, CloseServiceHandle>;

// A program built beside the tests.
std::string BuiltProgramPath(const char* fileName) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1) + fileName;
}

std::string ServiceProgramPath() {
    return BuiltProgramPath("ParvaliskService.exe");
}

std::string Quoted(const std::string& path) {
    std::string quoted = "\"";
    quoted.append(path).append("\"");
    return quoted;
}

struct ProgramRun {
    DWORD exitCode = ~0u;
    std::string output;  // what it wrote to its standard output
};

// Runs the program with the given arguments as a console program and waits for its end.
ProgramRun RunProgram(const std::string& program, const std::string& arguments) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    UniqueKernelHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::string command = Quoted(program).append(" ").append(arguments);
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "could not start " << command << ", error " << GetLastError();
        return run;
    }
    UniqueKernelHandle processHandle(process.hProcess), thread(process.hThread);
    writer.reset();
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0)
        run.output.append(buffer, read);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0) << command << " did not end";
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    return run;
}

ProgramRun RunServiceProgram(const std::string& arguments) {
    return RunProgram(ServiceProgramPath(), arguments);
}

// The prefix's data folder as it was: emptied for the test, and put back when the object goes
// (its files byte for byte, and the folders removed again when they were not there).
class SavedDataFolder {
  public:
    SavedDataFolder()
        : maker_(MakerFolderPath(SpecialFolderPath(kCommonAppDataFolder))),
          data_(DataFolderPath(SpecialFolderPath(kCommonAppDataFolder))),
          makerWas_(GetFileAttributesA(maker_.c_str()) != INVALID_FILE_ATTRIBUTES),
          dataWas_(GetFileAttributesA(data_.c_str()) != INVALID_FILE_ATTRIBUTES) {
        WIN32_FIND_DATAA found;
        UniqueFindHandle find(FindFirstFileA((data_ + "\\*").c_str(), &found));
        for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.get(), &found)) {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            files_[found.cFileName] = Read(data_ + "\\" + found.cFileName);
            SetFileAttributesA((data_ + "\\" + found.cFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA((data_ + "\\" + found.cFileName).c_str());
        }
    }
    ~SavedDataFolder() {
        RemoveTree(makerWas_ ? data_ : maker_);
        if (!dataWas_) return;
        CreateDirectoryA(maker_.c_str(), nullptr);
        CreateDirectoryA(data_.c_str(), nullptr);
        for (const auto& [name, bytes] : files_)
            EXPECT_TRUE(Write(data_ + "\\" + name, bytes))
                << "the data folder's " << name << " was not put back";
    }
    SavedDataFolder(const SavedDataFolder&) = delete;
    SavedDataFolder& operator=(const SavedDataFolder&) = delete;

    // Writes the file whole; false when it could not.
    static bool Write(const std::string& path, const std::string& bytes) {
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        return file &&
               WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
    static std::string Read(const std::string& path) {
        std::string bytes;
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        if (!file) return "<missing>";
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes.append(buffer, got);
        return bytes;
    }

  private:
    std::string maker_, data_;
    bool makerWas_, dataWas_;
    std::map<std::string, std::string> files_;
};

// Sends a request to the installed service and reads its answer.
ServiceAnswer AskService(const std::string& request) {
    ServiceExchange exchange = ExchangeWithService(request);
    ServiceAnswer answer;
    EXPECT_EQ(exchange.outcome, ServiceExchange::Outcome::Answered) << "error " << exchange.error;
    EXPECT_EQ(DecodeAnswer(exchange.answer, answer), MessageProblem::None);
    return answer;
}

// Clients of another program that connect to the service's pipe and sit there: as many as will
// get in, each waiting a moment for an instance.
std::vector<UniqueFile> HoldConnections(std::size_t count) {
    std::vector<UniqueFile> held;
    for (std::size_t i = 0; i < count; ++i) {
        UniqueFile client;
        for (int attempt = 0; attempt < 5 && !client; ++attempt) {
            client = UniqueFile(CreateFileA(kServicePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
            if (!client) WaitNamedPipeA(kServicePipeName, 200);
        }
        if (client) held.push_back(std::move(client));
    }
    return held;
}

// A hosts folder of the test's own, holding a hosts file of `hosts`, that the machine's hosts
// folder points to while the object lives.
class OwnHostsFolder {
  public:
    OwnHostsFolder(const std::string& name, const std::string& hosts)
        : folder_(FolderPath(name)), made_(Make(folder_, hosts)), pointed_(folder_) {}
    ~OwnHostsFolder() { RemoveTree(folder_); }
    OwnHostsFolder(const OwnHostsFolder&) = delete;
    OwnHostsFolder& operator=(const OwnHostsFolder&) = delete;

    bool Ready() const { return made_ && pointed_.InForce(); }
    const std::string& Folder() const { return folder_; }
    std::string HostsPath() const { return folder_ + "\\hosts"; }

  private:
    static std::string FolderPath(const std::string& name) {
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        return std::string(temp) + "parvalisk-" + name + "-" + std::to_string(GetCurrentProcessId());
    }
    static bool Make(const std::string& folder, const std::string& hosts) {
        RemoveTree(folder);
        return CreateDirectoryA(folder.c_str(), nullptr) && SavedDataFolder::Write(folder + "\\hosts", hosts);
    }

    std::string folder_;
    bool made_;
    SystemHostsFolder pointed_;
};

// A zone of the test's own under the machine's Time Zones, `bias` minutes behind UTC without
// daylight saving; gone again with the object.
class OwnTimeZone {
  public:
    static constexpr char kName[] = "Parvalisk Test Time";
    explicit OwnTimeZone(LONG bias) {
        struct {
            LONG bias, standardBias, daylightBias;
            SYSTEMTIME standardDate, daylightDate;
        } rules{bias, 0, 0, {}, {}};
        HKEY key = nullptr;
        made_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                &key, nullptr) == ERROR_SUCCESS;
        if (!made_) return;
        made_ = RegSetValueExA(key, "TZI", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&rules),
                               sizeof rules) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~OwnTimeZone() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, KeyPath().c_str()); }
    OwnTimeZone(const OwnTimeZone&) = delete;
    OwnTimeZone& operator=(const OwnTimeZone&) = delete;

    bool Made() const { return made_; }

  private:
    static std::string KeyPath() {
        return std::string("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\") + kName;
    }
    bool made_ = false;
};

class ServiceProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        manager_ = UniqueServiceHandle(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(manager_) << "no service manager, error " << GetLastError();
        Remove();  // one left over by a test that was cut short
        savedData_ = std::make_unique<SavedDataFolder>();
    }
    void TearDown() override {
        service_.reset();
        Remove();
        savedData_.reset();
    }

    static void Remove() {
        try {
            UninstallService(5000);
        } catch (const std::exception& failure) {
            ADD_FAILURE() << "the service could not be removed: " << failure.what();
        }
    }

    // Installs the service with its own /install and starts it.
    void InstallAndStart() {
        ProgramRun install = RunServiceProgram("/install");
        ASSERT_EQ(install.exitCode, 0u) << install.output;
        service_ = UniqueServiceHandle(OpenServiceA(manager_.get(), kServiceName, SERVICE_ALL_ACCESS));
        ASSERT_TRUE(service_) << "not installed, error " << GetLastError();
        ASSERT_TRUE(StartServiceA(service_.get(), 0, nullptr)) << "not started, error " << GetLastError();
    }

    // Waits until the service is in the state (or stopped), up to waitMs; answers its status.
    SERVICE_STATUS_PROCESS WaitFor(DWORD state, DWORD waitMs) {
        SERVICE_STATUS_PROCESS status{};
        bool read = true;
        WaitUntil(
            [&] {
                DWORD needed = 0;
                read = QueryServiceStatusEx(service_.get(), SC_STATUS_PROCESS_INFO,
                                            reinterpret_cast<BYTE*>(&status), sizeof status, &needed) != 0;
                return !read || status.dwCurrentState == state || status.dwCurrentState == SERVICE_STOPPED;
            },
            waitMs);
        if (!read) ADD_FAILURE() << "status not read, error " << GetLastError();
        return status;
    }

    UniqueServiceHandle manager_;
    UniqueServiceHandle service_;
    std::unique_ptr<SavedDataFolder> savedData_;  // the service makes and writes the data folder
};

TEST_F(ServiceProgram, StartedByHandSaysHowItRunsAndFails) {
    ProgramRun run = RunServiceProgram("");
    EXPECT_NE(run.exitCode, 0u);
    ASSERT_FALSE(run.output.empty());
    EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << "not one line: " << run.output;
    EXPECT_NE(run.output.find("service"), std::string::npos) << run.output;
}

// What the Application log's registration of the service's event source holds; "" for a value
// that is not there.
std::string EventSourceValue(const char* name) {
    char data[MAX_PATH * 2] = "";
    DWORD size = sizeof data - 1;
    DWORD type = REG_NONE;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kEventSourceKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data,
                     &size) != ERROR_SUCCESS)
        return "";
    if (type == REG_DWORD) return "dword " + std::to_string(*reinterpret_cast<DWORD*>(data));
    return (type == REG_EXPAND_SZ ? "expand " : "other ") + std::string(data);
}

TEST_F(ServiceProgram, CarriesTheMessageOfEveryEventItWrites) {
    // Event Viewer finds an entry's description by the identifier ReportEventA was given, severity
    // bits and all; every identifier the service may write must pass its text through whole.
    UniqueHandle<HMODULE, FreeLibrary> program(
        LoadLibraryExA(ServiceProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program) << "error " << GetLastError();
    const std::string text = "The Parvalisk service could not keep the blocked entries in C:\\x: 100%.";
    for (DWORD id = 1; id <= 49; ++id) {
        DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
        char* formatted = nullptr;
        const DWORD length = FormatMessageA(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
            program.get(), id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
            reinterpret_cast<char*>(&formatted), 0, reinterpret_cast<va_list*>(arguments));
        UniqueLocalMemory owned(formatted);
        ASSERT_NE(length, 0u) << "no message for event " << id << ", error " << GetLastError();
        std::string shown(formatted, length);
        while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
        EXPECT_EQ(shown, text) << "event " << id;
    }
}

TEST_F(ServiceProgram, InstallsRunsAnswersOnItsPipeAndStopsWithinThreeSeconds) {
    ASSERT_NO_FATAL_FAILURE(InstallAndStart());
    EXPECT_EQ(EventSourceValue("EventMessageFile"), "expand " + ServiceProgramPath())
        << "the event source is not registered with the service's messages";
    EXPECT_EQ(EventSourceValue("TypesSupported"), "dword 7");

    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfigA(service_.get(), reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                    static_cast<DWORD>(buffer.size()), &needed));
    const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_STREQ(config->lpDisplayName, kServiceDisplayName);
    EXPECT_EQ(std::string(config->lpBinaryPathName), Quoted(ServiceProgramPath()));
    EXPECT_STREQ(config->lpServiceStartName, "LocalSystem");

    ASSERT_TRUE(QueryServiceConfig2A(service_.get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                     static_cast<DWORD>(buffer.size()), &needed));
    EXPECT_STREQ(reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer.data())->lpDescription, kServiceDescription);
    // Wine takes failure actions and keeps none (it answers ERROR_INVALID_LEVEL to the query):
    // the restarts are checked where the service manager keeps them.
    if (QueryServiceConfig2A(service_.get(), SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(),
                             static_cast<DWORD>(buffer.size()), &needed)) {
        const auto* failure = reinterpret_cast<SERVICE_FAILURE_ACTIONSA*>(buffer.data());
        ASSERT_EQ(failure->cActions, 3u);
        const DWORD delays[] = {1000, 5000, 30000};
        for (DWORD i = 0; i < 3; ++i) {
            EXPECT_EQ(failure->lpsaActions[i].Type, SC_ACTION_RESTART) << "action " << i;
            EXPECT_EQ(failure->lpsaActions[i].Delay, delays[i]) << "action " << i;
        }
    } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL)) << "failure actions not read";
    }

    SERVICE_STATUS_PROCESS status = WaitFor(SERVICE_RUNNING, 10000);
    ASSERT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING))
        << "exit code " << status.dwWin32ExitCode;
    EXPECT_EQ(status.dwControlsAccepted & (SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN),
              static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));

    EXPECT_EQ(AskService(EncodeStatusRequest()).kind, MessageKind::StatusAnswer);

    const ULONGLONG stopAt = GetTickCount64();
    SERVICE_STATUS stopStatus{};
    ASSERT_TRUE(ControlService(service_.get(), SERVICE_CONTROL_STOP, &stopStatus))
        << "error " << GetLastError();
    status = WaitFor(SERVICE_STOPPED, 3000);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
    if (process) {
        const ULONGLONG left = 3000 - std::min<ULONGLONG>(3000, GetTickCount64() - stopAt);
        EXPECT_EQ(WaitForSingleObject(process.get(), static_cast<DWORD>(left)), WAIT_OBJECT_0)
            << "the service's process still runs 3 s after the stop";
    }
    EXPECT_EQ(ExchangeWithService("after the stop").outcome, ServiceExchange::Outcome::NoService);

    service_.reset();
    ProgramRun uninstall = RunServiceProgram("/uninstall");
    EXPECT_EQ(uninstall.exitCode, 0u) << uninstall.output;
    UniqueServiceHandle gone(OpenServiceA(manager_.get(), kServiceName, SERVICE_QUERY_STATUS));
    EXPECT_FALSE(gone) << "still installed";
    EXPECT_EQ(EventSourceValue("EventMessageFile"), "") << "the event source is still registered";
}

TEST_F(ServiceProgram, BlocksAndLiftsThroughItsPipeAndPutsBackAResetWhileNoProgramRuns) {
    const std::string clean = "127.0.0.1 localhost\r\n";
    OwnHostsFolder hosts("service", clean);
    ASSERT_TRUE(hosts.Ready());
    const std::string hostsPath = hosts.HostsPath();

    // The service goes before the hosts folder is put back.
    auto removeService = ScopeExit([&] {
        service_.reset();
        Remove();
    });
    ASSERT_NO_FATAL_FAILURE(InstallAndStart());
    ASSERT_EQ(WaitFor(SERVICE_RUNNING, 10000).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    const std::vector<std::string> entries = {"www.example.com", "m.example.org"};
    const std::string blocked = clean + "\r\n" + BlockLine(entries[0]) + BlockLine(entries[1]);
    // Another program holds more connections than one wait could take while the parent blocks.
    std::vector<UniqueFile> held = HoldConnections(80);
    EXPECT_EQ(held.size(), 80u);
    ServiceAnswer started = AskService(EncodeStartBlockRequest(entries, false));
    EXPECT_EQ(started.start, StartOutcome::Written);
    EXPECT_EQ(SavedDataFolder::Read(hostsPath), blocked);

    // The block is watched once its answer is on its way, before the next request is served.
    EXPECT_TRUE(AskService(EncodeStatusRequest()).status.blocking);
    // Reset while no program runs: the service alone puts the block back.
    ASSERT_TRUE(ResetHostsFile(hostsPath, clean)) << "error " << GetLastError();
    WaitUntil([&] { return SavedDataFolder::Read(hostsPath) == blocked; }, 5000);
    EXPECT_EQ(SavedDataFolder::Read(hostsPath), blocked) << "the service did not put the block back";
    ServiceAnswer status = AskService(EncodeStatusRequest());
    EXPECT_TRUE(status.status.blocking);
    EXPECT_TRUE(status.status.lastPutBackSucceeded);
    held.clear();

    ServiceAnswer stopped = AskService(EncodeStopBlockRequest(entries));
    EXPECT_EQ(stopped.stop, StopOutcome::Lifted);
    EXPECT_EQ(SavedDataFolder::Read(hostsPath), clean);
}

// The service reads a schedule by the machine's clock and wakes on its timer at the edge, with no
// program running. The edge is the next whole minute a few seconds ahead, made the start of a
// half-hour by a zone of the test's own, so the wait is bounded by a minute.
TEST_F(ServiceProgram, WritesTheBlockAtAScheduleEdgeByTheMachinesClock) {
    const std::string clean = "127.0.0.1 localhost\r\n";
    OwnHostsFolder hosts("schedule", clean);
    ASSERT_TRUE(hosts.Ready());
    auto removeService = ScopeExit([&] {
        service_.reset();
        Remove();
    });
    ASSERT_NO_FATAL_FAILURE(InstallAndStart());
    ASSERT_EQ(WaitFor(SERVICE_RUNNING, 10000).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

    constexpr UtcTime kSecond = 10'000'000;
    const UtcTime edge =
        (UtcNow() + 5 * kSecond + kUtcTicksPerMinute - 1) / kUtcTicksPerMinute * kUtcTicksPerMinute;
    const LONG bias = static_cast<LONG>(edge / kUtcTicksPerMinute % 30);
    OwnTimeZone zone(bias);
    ASSERT_TRUE(zone.Made());
    const UtcTime localEdge = edge - bias * kUtcTicksPerMinute;
    const FILETIME localFile{static_cast<DWORD>(localEdge), static_cast<DWORD>(localEdge >> 32)};
    SYSTEMTIME local{};
    ASSERT_TRUE(FileTimeToSystemTime(&localFile, &local));
    StoredSchedule schedule;
    schedule.week.Set((local.wDayOfWeek + 6) % 7, local.wHour * 2 + local.wMinute / 30, true);
    schedule.followed = true;
    schedule.zone = OwnTimeZone::kName;

    const std::vector<std::string> entries = {"www.example.com"};
    EXPECT_EQ(AskService(EncodeSaveScheduleRequest("", "", FormatSchedule(schedule), entries)).schedule,
              ScheduleOutcome::Saved);
    ServiceAnswer status = AskService(EncodeStatusRequest());
    EXPECT_TRUE(status.status.scheduleFollowed);
    EXPECT_EQ(status.status.nextChange, edge);
    EXPECT_EQ(SavedDataFolder::Read(hosts.HostsPath()), clean) << "blocked before the edge";

    const std::string blocked = clean + "\r\n" + BlockLine(entries[0]);
    const DWORD untilEdgeMs = static_cast<DWORD>((edge - std::min(edge, UtcNow())) / 10'000);
    WaitUntil([&] { return SavedDataFolder::Read(hosts.HostsPath()) == blocked; }, untilEdgeMs + 10000);
    EXPECT_EQ(SavedDataFolder::Read(hosts.HostsPath()), blocked) << "no block at the edge";
    EXPECT_GE(UtcNow(), edge) << "blocked before the edge";
    status = AskService(EncodeStatusRequest());
    EXPECT_TRUE(status.status.blocking);
    EXPECT_EQ(status.status.nextChange, edge + 30 * kUtcTicksPerMinute);
}

TEST_F(ServiceProgram, RefusesToRunWhenAnotherProgramMadeItsPipeFirst) {
    UniqueFile taken(CreateNamedPipeA(kServicePipeName, PIPE_ACCESS_DUPLEX,
                                      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, PIPE_UNLIMITED_INSTANCES,
                                      512, 512, 0, nullptr));
    ASSERT_TRUE(taken) << "error " << GetLastError();
    ASSERT_NO_FATAL_FAILURE(InstallAndStart());
    SERVICE_STATUS_PROCESS status = WaitFor(SERVICE_STOPPED, 10000);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_PIPE_BUSY));

    // The name is the other program's, not the stopped service's: a client sends it nothing.
    ServicePipeOptions options;
    options.timeoutMs = 500;
    ServiceExchange exchange = ExchangeWithService("hello", options);
    EXPECT_EQ(exchange.outcome, ServiceExchange::Outcome::Impostor) << exchange.answer;
}

// While the service is down any user may make its pipe and answer like it. The restore helper
// that the uninstaller runs first sends such a pipe nothing and puts nothing back in the
// service's place: it ends with 1, so the uninstaller removes nothing (and ends with 2), and the
// block and its clean copy stay for the service to lift.
TEST_F(ServiceProgram, TheRestoreHelperSendsNothingToAnotherProcesssPipeAndLiftsNothing) {
    const std::string clean = "127.0.0.1 localhost\r\n";
    const std::string blocked = clean + "\r\n" + BlockLine("www.example.com");
    OwnHostsFolder hosts("impostor", blocked);
    ASSERT_TRUE(hosts.Ready());
    const std::string hostsFolder = hosts.Folder();
    const std::string dataFolder = DataFolderPath(SpecialFolderPath(kCommonAppDataFolder));
    CreateDirectoryA(MakerFolderPath(SpecialFolderPath(kCommonAppDataFolder)).c_str(), nullptr);
    CreateDirectoryA(dataFolder.c_str(), nullptr);
    ASSERT_TRUE(SavedDataFolder::Write(dataFolder + "\\hosts", clean));

    std::atomic<int> asked{0};
    ServedPipe impostor(
        [&](std::string_view, CallerGroups&) {
            ++asked;
            return EncodeStopBlockAnswer(StopOutcome::Lifted, {});
        },
        {}, nullptr, kServicePipeName);
    const ProgramRun restore = RunProgram(BuiltProgramPath("ParvaliskRestore.exe"), "");
    EXPECT_EQ(restore.exitCode, 1u) << restore.output;
    EXPECT_EQ(asked, 0) << "the restore helper sent a request to another process's pipe";
    EXPECT_EQ(SavedDataFolder::Read(hostsFolder + "\\hosts"), blocked);
    EXPECT_EQ(SavedDataFolder::Read(dataFolder + "\\hosts"), clean) << "the clean copy went";
}

}  // namespace
