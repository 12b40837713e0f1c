// The window's schedule and lifts with the blocking service's whole run there (in this process, on
// the machine's clock and zones): the "Schedule" button's window saves and lifts through it, and
// the window's caption and Status line follow the block the service keeps by the clock, also when
// another program changes it.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Schedule.h"
#include "ServiceBlocker.h"
#include "UserTexts.h"
#include "support/BlockLine.h"
#include "support/MainWindowFixture.h"
#include "support/MainWindowView.h"
#include "support/RecordedBalloons.h"
#include "support/ScheduleWindowDriver.h"
#include "support/ServedPipe.h"
#include "support/ServiceOnTree.h"

namespace {

const std::string kClean = "127.0.0.1 localhost\r\n";
const std::vector<std::string> kEntries = {"a.example", "b.example"};

class ScheduleThroughService : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        MakeDataFolder();
        WriteBytes(hostsPath, kClean);
        CreateDirectoryA((root + "\\service").c_str(), nullptr);
        serviceHostsPath = root + "\\service\\hosts";
        WriteBytes(serviceHostsPath, kClean);
        // The service keeps its schedule in the data folder the program reads at start-up, as on
        // the machine; its hosts file is its own, so the test sees who wrote it.
        service.emplace(BlockingPlace{serviceHostsPath, dataFolder, &owners}, TestPipeName(), run, run);
        direct.emplace(BlockingPlace{hostsPath, dataFolder, &owners});
        blocker.emplace(*direct, InProcessPipeOptions(service->PipeName()));
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        service.reset();
    }

    void StartWithService() {
        MainWindowParts parts = Parts();
        parts.blocker = &*blocker;
        parts.schedule = &*blocker;
        form = std::make_unique<MainWindow>(parts);
        form->Load();
    }
    // Opens the schedule window with the "Schedule" button and acts in it.
    void InScheduleWindow(std::function<void(HWND)> action) const {
        ScheduleWindowDriver driver(std::move(action));
        Click(kIdScheduleButton);
    }
    ServiceStatus ServiceState() const {
        ServiceAnswer answer;
        EXPECT_EQ(DecodeAnswer(service->Exchange(EncodeStatusRequest()).answer, answer),
                  MessageProblem::None);
        return answer.status;
    }
    std::string ServiceHosts() const { return ReadBytes(serviceHostsPath); }
    std::string ServiceBlocked() const {
        return kClean + "\r\n" + BlockLine("a.example") + BlockLine("b.example");
    }

    std::string serviceHostsPath;
    RecordedRun run;
    std::optional<ServiceOnTree> service;
    std::optional<DirectBlocker> direct;
    std::optional<ServiceBlocker> blocker;
};

// "Blocking is lifted until 17:45.", or "... until 00:10 on Thursday." across midnight.
bool SaysLifted(const std::string& text) {
    const std::string shape = BlockingLiftedText("|");
    const std::string before = shape.substr(0, shape.find('|')), after = shape.substr(shape.find('|') + 1);
    if (!text.starts_with(before) || !text.ends_with(after) || text.size() < before.size() + 5 + after.size())
        return false;
    const std::string until = text.substr(before.size(), text.size() - before.size() - after.size());
    return until[2] == ':' && (until.size() == 5 || until.substr(5, 4) == " on ");
}

// Every half-hour of the week marked and followed: blocked now, whenever the test runs.
void MarkEveryDayFollowedAndSave(HWND window) {
    for (int day = 0; day < kDaysInWeek; ++day)
        ClickInGrid(window, Centre(GeometryOf(ScheduleGrid(window)).DayNameRect(day)));
    ClickScheduleButton(window, kIdScheduleFollowedBox);
    ClickScheduleButton(window, kIdScheduleSaveButton);
}

TEST_F(ScheduleThroughService, SaveAndLiftGoThroughTheServiceAndTheWindowFollowsEveryChange) {
    StartWithService();
    SetEntries(kEntries);
    prompts.boxes.clear();
    InScheduleWindow(MarkEveryDayFollowedAndSave);
    EXPECT_TRUE(prompts.boxes.empty());
    EXPECT_EQ(ServiceHosts(), ServiceBlocked());
    EXPECT_EQ(ReadBytes(hostsPath), kClean) << "the program wrote the hosts file itself";
    EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
    EXPECT_EQ(Caption(kIdStatusLabel), kBlockedAtEveryHour);

    // A lift (its first length) hides the window in the tray, locked, and says until when.
    balloons.clear();
    InScheduleWindow([](HWND w) { ClickScheduleButton(w, kIdScheduleLiftButton); });
    EXPECT_EQ(ServiceHosts(), kClean);
    EXPECT_TRUE(Locked());
    EXPECT_FALSE(IsWindowVisible(form->hwnd()));
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
    const std::string lifted = Caption(kIdStatusLabel);
    EXPECT_TRUE(SaysLifted(lifted)) << lifted;
    EXPECT_EQ(BalloonTexts(), std::vector<std::string>{lifted});

    // Another program saves the schedule again, which ends the lift: the window follows at once,
    // not only at the lift's end.
    StoredSchedule again;
    ASSERT_TRUE(ParseSchedule(ServiceState().schedule, again));
    const ServiceExchange saved =
        service->Exchange(EncodeSaveScheduleRequest("", "", FormatSchedule(again), kEntries));
    ASSERT_EQ(saved.outcome, ServiceExchange::Outcome::Answered);
    EXPECT_TRUE(RunLoopUntil([&] { return Caption(kIdStartStopButton) == kStopBlockingCaption; }));
    EXPECT_EQ(Caption(kIdStatusLabel), kBlockedAtEveryHour);
    EXPECT_EQ(ServiceHosts(), ServiceBlocked());

    // The next start finds the schedule followed: hidden behind the password, the block shown.
    DropMainWindow();
    StartWithService();
    EXPECT_TRUE(Locked());
    EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
    EXPECT_EQ(Caption(kIdStatusLabel), kBlockedAtEveryHour);
}

// What the service refuses is told in words, and the window stays as it was.
TEST_F(ScheduleThroughService, RefusalsAreToldAndChangeNothing) {
    StartWithService();
    SetEntries({});
    const struct {
        const char* what;
        std::function<void(HWND)> act;
        const char* told;
    } rows[] = {
        {"a followed schedule with an empty list", MarkEveryDayFollowedAndSave, kScheduleNeedsList},
        {"a lift with neither a block nor a schedule",
         [](HWND w) { ClickScheduleButton(w, kIdScheduleLiftButton); }, kLiftRefused},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        prompts.boxes.clear();
        InScheduleWindow(row.act);
        ASSERT_EQ(prompts.boxes.size(), 1u);
        EXPECT_EQ(prompts.boxes[0].text, row.told);
        EXPECT_EQ(ServiceHosts(), kClean);
        EXPECT_FALSE(Locked());
        EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
        EXPECT_EQ(Caption(kIdStatusLabel), kStatusCaption);
    }
}

// The window's watch guards the block its Start wrote; a lift another program asks for removes it
// from the hosts file, and the service keeps it lifted. The window follows, and tells of no
// removal it could not put back.
TEST_F(ScheduleThroughService, ALiftMadeElsewhereEndsTheWatchWithoutAFalseAlarm) {
    StartWithService();
    SetEntries(kEntries);
    prompts.boxes.clear();
    Click(kIdStartStopButton);
    ASSERT_EQ(ServiceHosts(), ServiceBlocked());
    ASSERT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);

    ServiceAnswer lifted;
    ASSERT_EQ(DecodeAnswer(service->Exchange(EncodeLiftRequest("", 30)).answer, lifted),
              MessageProblem::None);
    ASSERT_EQ(lifted.lift, LiftOutcome::Lifted);
    EXPECT_TRUE(RunLoopUntil([&] { return Caption(kIdStartStopButton) == kStartBlockingCaption; }));
    // Longer than the watch waits for the hosts folder to settle before it looks.
    RunLoopUntil([] { return false; }, 3 * kHostsSettleMs);
    EXPECT_EQ(ServiceHosts(), kClean);
    EXPECT_TRUE(prompts.boxes.empty()) << prompts.boxes.front().text;
    EXPECT_TRUE(SaysLifted(Caption(kIdStatusLabel))) << Caption(kIdStatusLabel);
}

}  // namespace
