// The main window with the blocking service there: its Start/Stop button, its start-up option box
// and its watch go through the service, which here answers in this process on a hosts file, data
// folder and Run key of its own. The window's own hosts file, clean copy, Run value and start-up
// marker must stay exactly as they were: with the service there the program writes none of them.
// Wine knows no elevation and makes every account an administrator, so a caller the service takes
// for no administrator is staged by handing it no groups.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Appearance.h"
#include "Failure.h"
#include "PasswordHash.h"
#include "ServiceBlocker.h"
#include "StartWithWindowsSwitch.h"
#include "support/BlockLine.h"
#include "support/InProcessService.h"
#include "support/MainWindowFixture.h"
#include "support/RecordedBalloons.h"
#include "UserTexts.h"
#include "support/MainWindowView.h"

namespace {

const std::string kClean = "127.0.0.1 localhost\r\n";
const std::string kServiceClean = "# the service's hosts\r\n127.0.0.1 localhost\r\n";
const std::vector<std::string> kEntries = {"a.example", "b.example"};

class ServiceBlocking : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        MakeDataFolder();
        SetApplicationTitle();
        WriteBytes(hostsPath, kClean);
        service.emplace(root + "\\service", settingsKey + "\\Run", &owners);
        WriteBytes(service->hostsPath, kServiceClean);
        direct.emplace(BlockingPlace{hostsPath, dataFolder, &owners});
        blocker.emplace(*direct, service->Options());
        startSwitch.emplace(DirectStartWithWindows(), service->Options());
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        service.reset();
    }

    // The window as the program makes it when the service may answer.
    MainWindow& StartWithService(const std::vector<std::string>& entries = kEntries) {
        MainWindowParts parts = Parts();
        parts.blocker = &*blocker;
        parts.schedule = &*blocker;
        parts.startWithWindows = &*startSwitch;
        form = std::make_unique<MainWindow>(parts);
        form->Load();
        SetEntries(entries);
        prompts.boxes.clear();
        return *form;
    }

    // Everything the program would write itself is as the test made it.
    void ExpectProgramWroteNothing() const {
        EXPECT_EQ(ReadBytes(hostsPath), kClean) << "the program wrote the hosts file";
        EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>") << "the program kept a clean copy";
        EXPECT_EQ(RunValue(), "<absent>") << "the program wrote the Run value";
        EXPECT_EQ(ReadBytes(StartWithWindowsMarkerPath(dataFolder)), "<missing>")
            << "the program wrote the marker";
    }
    std::string ServiceRunValue() const {
        char data[1024] = "";
        DWORD size = sizeof data - 1;
        LONG status = RegGetValueA(HKEY_CURRENT_USER, service->runKeyPath.c_str(),
                                   RunValueName(ProgramPath()).c_str(), RRF_RT_REG_SZ, nullptr, data, &size);
        return status == ERROR_SUCCESS ? std::string(data) : std::string("<absent>");
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : prompts.boxes) texts.push_back(box.text);
        return texts;
    }

    std::optional<InProcessService> service;
    std::optional<DirectBlocker> direct;
    std::optional<ServiceBlocker> blocker;
    std::optional<ServiceStartWithWindows> startSwitch;
};

TEST_F(ServiceBlocking, StartStopAndStartWithWindowsGoThroughTheServiceAndTheProgramWritesNothing) {
    StartWithService();
    const std::string blocked = kServiceClean + "\r\n" + BlockLine("a.example") + BlockLine("b.example");

    Click(kIdStartWithWindowsBox);
    EXPECT_EQ(ServiceRunValue(), RunValueData(ProgramPath()));
    EXPECT_EQ(ReadBytes(StartWithWindowsMarkerPath(service->dataFolder)), " ");
    ExpectProgramWroteNothing();

    Click(kIdStartStopButton);
    EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
    EXPECT_EQ(ReadBytes(service->hostsPath), blocked);
    EXPECT_EQ(ReadBytes(service->dataFolder + "\\hosts"), kServiceClean);
    EXPECT_FALSE(ShownNormally()) << "a start through the service goes to the tray as a direct one";
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
    ExpectProgramWroteNothing();

    form->Unlock();
    Click(kIdStartStopButton);
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
    EXPECT_EQ(ReadBytes(service->hostsPath), kServiceClean);
    EXPECT_EQ(ReadBytes(service->dataFolder + "\\hosts"), "<missing>");
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());

    Click(kIdStartWithWindowsBox);
    EXPECT_EQ(ServiceRunValue(), "<absent>");
    EXPECT_EQ(ReadBytes(StartWithWindowsMarkerPath(service->dataFolder)), "<missing>");
    ExpectProgramWroteNothing();
}

TEST_F(ServiceBlocking, OnlyThePasswordTheWindowWasUnlockedWithLiftsTheServicesBlock) {
    // Wine elevates every program: the service's callers here are programs of the parent's
    // account that were not elevated (the Administrators group for deny only).
    service->callerCalls.administrators = SE_GROUP_USE_FOR_DENY_ONLY;
    settings.Save(kKeyPassword, HashPassword("secret"));
    StartWithService();
    const std::string blocked = kServiceClean + "\r\n" + BlockLine("a.example") + BlockLine("b.example");
    Click(kIdStartStopButton);
    ASSERT_EQ(ReadBytes(service->hostsPath), blocked);
    const auto stopFromAnotherProgram = [&](const std::string& password) {
        const std::optional<ServiceAnswer> answer = AskService(
            EncodeStopBlockRequest(kEntries, password), MessageKind::StopBlockAnswer, service->Options());
        return answer ? answer->stop : StopOutcome::Refused;
    };
    EXPECT_EQ(stopFromAnotherProgram(""), StopOutcome::WrongPassword);
    EXPECT_EQ(ReadBytes(service->hostsPath), blocked);

    // Unlocked without the password (as once the stored one is deleted): the stop is refused and
    // told, and blocking stays on.
    form->Unlock("");
    Click(kIdStartStopButton);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kStopNeedsBlockPassword});
    EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
    EXPECT_EQ(ReadBytes(service->hostsPath), blocked);

    // Locked and unlocked with the password, the parent sets a new one: it reaches the service
    // with the old one, and the stop lifts the block with it.
    MainWindowView::SetWindowState(*form, WindowState::Minimized);
    ASSERT_TRUE(Locked());
    form->Unlock("secret");
    prompts.boxes.clear();
    SetWindowTextA(ControlWindow(kIdPasswordField), "kite");
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(stopFromAnotherProgram("secret"), StopOutcome::WrongPassword);
    EXPECT_EQ(ReadBytes(service->hostsPath), blocked);
    Click(kIdStartStopButton);
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
    EXPECT_EQ(ReadBytes(service->hostsPath), kServiceClean);
}

// A full volume cannot be had under Wine: the file's writes are refused by a write handed to the
// program in its place, as a 256 KiB volume refuses them.
bool WriteOfAFullVolume(HANDLE file, ULONGLONG at, const char* data, DWORD size) {
    if (at + size > 256 * 1024) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(at);
    DWORD written = 0;
    return WriteFile(file, data, size, &written, &place) && written == size;
}

TEST_F(ServiceBlocking, ALongListIsSharedThroughAFileAndWrittenWholeByTheService) {
    std::vector<std::string> entries;
    std::string blocked = kServiceClean + "\r\n";
    for (int i = 0; i < 20000; ++i) {
        entries.push_back("site" + std::to_string(100000 + i) + ".example");
        // One entry longer than a piece of the file, which goes in on its own.
        if (i == 10000) entries.back() += std::string(1536 * 1024, 'x');
        blocked += BlockLine(entries.back());
    }
    const ListedEntries list(entries);
    // The list is shared through a temporary file, which is gone again once the start is done;
    // with no temporary folder to be had, or one that refuses a write, it goes through the pipe,
    // and the start is the same.
    char temporary[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", temporary, sizeof temporary);
    const std::string folder = root + "\\temporary";
    const struct {
        const char* what;
        bool folderGone;
        SharedListWrite write;
        int sharedStarts;  // starts the service was asked to read from a file
        int requests;      // requests it was sent in all
    } rows[] = {
        {"TMP names a folder", false, {}, 1, 1},
        {"TMP names no folder", true, {}, 0, 1},
        {"the folder's volume is full", false, WriteOfAFullVolume, 1, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CreateDirectoryA(folder.c_str(), nullptr);
        ServiceBlocker blocking(*direct, service->Options(), row.write);
        SetEnvironmentVariableA("TMP", (row.folderGone ? root + "\\no such folder" : folder).c_str());
        const int sharedBefore = service->sharedStarts, requestsBefore = service->requests;
        CollectedFailures report;
        ASSERT_EQ(blocking.Start(list, true, false, report), StartOutcome::Written);
        SetEnvironmentVariableA("TMP", temporary[0] != '\0' ? temporary : nullptr);
        EXPECT_EQ(service->sharedStarts - sharedBefore, row.sharedStarts);
        EXPECT_EQ(service->requests - requestsBefore, row.requests);
        EXPECT_TRUE(report.failures.empty());
        EXPECT_EQ(ReadBytes(service->hostsPath), blocked);
        // The service knows every entry of the block it wrote.
        const std::optional<ServiceAnswer> status =
            AskService(EncodeStatusRequest(), MessageKind::StatusAnswer, service->Options());
        ASSERT_TRUE(status);
        EXPECT_EQ(status->status.entryCount, entries.size());
        EXPECT_TRUE(RemoveDirectoryA(folder.c_str()) || row.folderGone) << "a temporary file was left";
        EXPECT_EQ(blocking.Stop(list, true, report, [] {}), StopOutcome::Lifted);
        EXPECT_EQ(ReadBytes(service->hostsPath), kServiceClean);
    }
    ExpectProgramWroteNothing();
}

TEST_F(ServiceBlocking, ARefusedStartShowsTheDirectRunsBoxesAndNothingIsWrittenBehindTheService) {
    const std::string failedStep = SystemErrorText(ERROR_PATH_NOT_FOUND) +
                                   "\r\nin Nestwarden2021/08/31.Form1.StartBlocking at line 106\r\r";
    const struct {
        const char* what;
        bool windowFindsAdministrator;
        bool serviceFindsAdministrator;
        bool garbledAnswer;
        bool serviceDataFolderGone;  // the service's copy of the hosts file fails inside it
        std::vector<std::string> boxStarts;
        bool serviceAsked;
    } rows[] = {
        {"a failed step inside the service",
         true,
         true,
         false,
         true,
         {failedStep, kCouldNotStartBlocking},
         true},
        {"the window's own check finds no administrator",
         false,
         true,
         false,
         false,
         {kAdministratorMessage},
         false},
        {"the service finds no administrator", true, false, false, false, {kAdministratorMessage}, true},
        {"an answer that cannot be read", true, true, true, false, {kCouldNotStartBlocking}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        answers.administrator = row.windowFindsAdministrator;
        service->callerIsAdministrator = row.serviceFindsAdministrator;
        service->answersGarbage = row.garbledAnswer;
        if (row.serviceDataFolderGone) RemoveDirectoryA(service->dataFolder.c_str());
        StartWithService();
        const int asked = service->requests;

        Click(kIdStartStopButton);
        const std::vector<std::string> texts = BoxTexts();
        EXPECT_EQ(texts.size(), row.boxStarts.size()) << ::testing::PrintToString(texts);
        for (size_t k = 0; k < std::min(texts.size(), row.boxStarts.size()); ++k)
            EXPECT_EQ(texts[k].rfind(row.boxStarts[k], 0), 0u) << texts[k];
        if (row.serviceDataFolderGone && !prompts.boxes.empty()) {
            EXPECT_EQ(prompts.boxes[0].title, kErrorReportTitle);
        }
        EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
        EXPECT_TRUE(ShownNormally());
        EXPECT_EQ(service->requests > asked, row.serviceAsked);
        EXPECT_EQ(ReadBytes(service->hostsPath), kServiceClean);
        ExpectProgramWroteNothing();

        DropMainWindow();
        CreateDirectoryA(service->dataFolder.c_str(), nullptr);
    }
}

TEST_F(ServiceBlocking, TheWatchLeavesThePutBackToTheServiceAndTellsTheParent) {
    balloons.clear();
    shellNotifyIcon = RecordBalloonsEndingAtOnce;
    StartWithService();
    Click(kIdStartStopButton);
    ASSERT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
    const int asked = service->requests;

    // Another program rewrites the hosts file the window watches. The service's own file, kept
    // apart here, still holds the block, as the service's own watch leaves it.
    const std::string rewritten = kClean + "# a cleanup tool was here\r\n";
    WriteBytes(hostsPath, rewritten);
    ASSERT_TRUE(RunLoopUntil([] {
        return !balloons.empty() && BalloonTexts().back() == kRemovedBlockPutBack;
    })) << ::testing::PrintToString(BalloonTexts());
    EXPECT_GT(service->requests, asked) << "the service was not asked to put the block back";
    EXPECT_EQ(ReadBytes(hostsPath), rewritten) << "the program put the lines back itself";
    EXPECT_EQ(ReadBytes(service->hostsPath),
              kServiceClean + "\r\n" + BlockLine("a.example") + BlockLine("b.example"));
}

// The service's own watch may put the lines back before the program looks: the program, finding
// them there, learns it from the service and tells the parent all the same.
TEST_F(ServiceBlocking, APutBackTheServiceMadeFirstIsToldAllTheSame) {
    balloons.clear();
    shellNotifyIcon = RecordBalloonsEndingAtOnce;
    StartWithService();
    service->CountPutBack();  // one of a block before this program's start: nothing to tell
    Click(kIdStartStopButton);
    RunLoopUntil([] { return false; }, 300);
    balloons.clear();  // the tray's own, as the window went there
    const std::string blocked = kClean + "\r\n" + BlockLine("a.example") + BlockLine("b.example");
    WriteBytes(hostsPath, blocked);
    RunLoopUntil([] { return false; }, 500);
    EXPECT_TRUE(balloons.empty()) << "a change that kept the lines is no removal: "
                                  << ::testing::PrintToString(BalloonTexts());

    service->CountPutBack();
    WriteBytes(hostsPath, blocked + "# ok\r\n");
    EXPECT_TRUE(RunLoopUntil([] {
        return !balloons.empty() && BalloonTexts().back() == kRemovedBlockPutBack;
    })) << ::testing::PrintToString(BalloonTexts());
}

// Any user may make a pipe of the service's name while the service is down. Served by a process
// that the service manager does not run as the service, it is no service: nothing is sent to it,
// and the program blocks and lifts by itself as it does without a service.
TEST_F(ServiceBlocking, APipeServedByAnotherProcessIsSentNothingAndTheProgramWritesItself) {
    const struct {
        const char* what;
        std::optional<DWORD> serviceProcess;  // what the service manager reports
    } rows[] = {
        {"the service manager runs no service", std::nullopt},
        {"the service manager's service is another process", GetCurrentProcessId() + 4},
    };
    const std::string blocked = kClean + "\r\n" + BlockLine("a.example") + BlockLine("b.example");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ServicePipeOptions options = service->Options();
        options.serviceProcessId = [&] { return row.serviceProcess; };
        blocker.emplace(*direct, options);
        StartWithService();

        Click(kIdStartStopButton);
        EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
        EXPECT_EQ(ReadBytes(hostsPath), blocked) << "the program did not write the block itself";
        EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), kClean);
        form->Unlock();
        Click(kIdStartStopButton);
        EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
        EXPECT_EQ(ReadBytes(hostsPath), kClean);
        EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
        EXPECT_EQ(service->requests, 0) << "a request went to the other process's pipe";
        EXPECT_EQ(ReadBytes(service->hostsPath), kServiceClean);
        DropMainWindow();
    }
}

// A service that does not answer (every instance busy with other programs' requests, or hung)
// holds neither the window nor the parent: while the program waits the window answers, shows the
// busy pointer and obeys no second click; then it says that the service is not answering, and
// blocking is as it was.
// What a timer of the test's thread saw while the window waited for the service.
struct SeenWhileWaiting {
    const MainWindow* window = nullptr;
    bool clicking = false;  // the test's click on Start/Stop has not returned yet
    bool ranInClick = false;
    bool busy = false;
    HANDLE changeSignal = nullptr;  // the service's signal, set while the window waits
};
SeenWhileWaiting seenWhileWaiting;

// Runs on the window's thread when the window lets its events run: looks at the pointer and clicks
// Start/Stop once more.
void CALLBACK LookWhileWaiting(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    seenWhileWaiting.ranInClick = seenWhileWaiting.clicking;
    seenWhileWaiting.busy = MainWindowView::PointerState(*seenWhileWaiting.window) == Pointer::Busy;
    SetEvent(seenWhileWaiting.changeSignal);
    const HWND button = MainWindowView::ControlById(*seenWhileWaiting.window, kIdStartStopButton).hwnd;
    PostMessageA(seenWhileWaiting.window->hwnd(), WM_COMMAND, MAKEWPARAM(kIdStartStopButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

TEST_F(ServiceBlocking, AServiceThatDoesNotAnswerLeavesTheWindowAnsweringAndBlockingUnchanged) {
    ServicePipeOptions options = service->Options();
    options.timeoutMs = 1000;
    blocker.emplace(*direct, options);
    // The next request hangs past the program's wait and is dropped; the rest are answered.
    auto stallNext = std::make_shared<std::atomic<bool>>(false);
    auto stalled = std::make_shared<std::atomic<bool>>(false);
    service->beforeAnswer = [stallNext, stalled] {
        if (!stallNext->exchange(false)) return true;
        Sleep(1500);
        *stalled = true;
        return false;
    };
    // The service tells of a change while the window waits: the window asks again only once its
    // command is done, never with a second exchange inside the first.
    UniqueKernelHandle changeSignal(CreateEventA(nullptr, TRUE, FALSE, options.changeSignalName.c_str()));
    for (const bool stopping : {false, true}) {
        SCOPED_TRACE(stopping ? kStopBlockingCaption : kStartBlockingCaption);
        StartWithService();
        if (stopping) {
            Click(kIdStartStopButton);
            ASSERT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
            form->Unlock();
        }
        const std::string serviceHosts = ReadBytes(service->hostsPath);
        const int asked = service->requests;
        seenWhileWaiting = {form.get(), true};
        seenWhileWaiting.changeSignal = changeSignal.get();
        *stalled = false;
        *stallNext = true;
        SetTimer(nullptr, 0, 300, LookWhileWaiting);

        Click(kIdStartStopButton);
        seenWhileWaiting.clicking = false;
        ASSERT_TRUE(RunLoopUntil([&] { return stalled->load(); }));
        RunLoopUntil([] { return false; }, 300);
        EXPECT_TRUE(seenWhileWaiting.ranInClick)
            << "the window did not answer while it waited for the service";
        EXPECT_TRUE(seenWhileWaiting.busy) << "no busy pointer while the window waited";
        EXPECT_NE(MainWindowView::PointerState(*form), Pointer::Busy) << "the busy pointer stayed";
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{kServiceNotAnswering});
        EXPECT_EQ(Caption(kIdStartStopButton), stopping ? kStopBlockingCaption : kStartBlockingCaption);
        EXPECT_TRUE(ShownNormally());
        EXPECT_EQ(service->requests - asked, 1)
            << "a click or a change signal while waiting asked the service again";
        ResetEvent(changeSignal.get());
        EXPECT_EQ(ReadBytes(service->hostsPath), serviceHosts);
        ExpectProgramWroteNothing();
        DropMainWindow();
    }
}

// With the service there, what the program cannot put back is the service's to tell: the
// program's rights would change nothing.
TEST_F(ServiceBlocking, ABlockTheServiceCouldNotPutBackIsToldAsTheServices) {
    balloons.clear();
    shellNotifyIcon = RecordBalloonsEndingAtOnce;
    {
        SCOPED_TRACE("the watch");
        StartWithService();
        Click(kIdStartStopButton);
        ASSERT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
        service->callerIsAdministrator = false;  // its put-back is refused
        WriteBytes(hostsPath, kClean + "# a cleanup tool was here\r\n");
        EXPECT_TRUE(RunLoopUntil([] {
            return !balloons.empty() && BalloonTexts().back() == kServiceCouldNotPutBack;
        })) << ::testing::PrintToString(BalloonTexts());
        DropMainWindow();
    }
    {
        SCOPED_TRACE("the tray, after a resumed start");
        balloons.clear();
        service->callerIsAdministrator = true;
        service->answersGarbage = true;
        MainWindowParts parts = Parts();
        parts.blocker = &*blocker;
        parts.schedule = &*blocker;
        parts.startWithWindows = &*startSwitch;
        form = std::make_unique<MainWindow>(parts);
        form->Load();
        EXPECT_EQ(BalloonTexts(), std::vector<std::string>{kServiceCouldNotPutBack});
    }
}

}  // namespace
