// The watch on the hosts file while blocking is on, through the real change notification that the
// message loop waits on: a block that another program removes comes back (also when the hosts
// folder is renamed away), the parent is told at most once a minute, and every change the program
// makes to the hosts file flushes the resolver cache.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "HostsBlocker.h"
#include "MessagePump.h"
#include "support/MainWindowFixture.h"
#include "support/RecordedBalloons.h"
#include "support/RewriteInSteps.h"

namespace {

const std::string kClean = "# the machine's hosts\r\n127.0.0.1 localhost\r\n";
const std::string kLines = "127.0.0.1          a.example\r\n127.0.0.1          b.example\r\n";
const char kPutBack[] = "Another program removed the block. It has been put back.";

class HostsWatch : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        balloons.clear();
        shellNotifyIcon = RecordBalloonsEndingAtOnce;
        WriteBytes(hostsPath, kClean);
        settings.Save(kKeyBlockedWebsites, "a.example||My_Separator||b.example||My_Separator||");
    }

    bool Blocked() const { return ReadBytes(hostsPath).find(kLines) != std::string::npos; }
    void StartBlocking() {
        Click(kIdStartStopButton);
        ASSERT_EQ(ReadBytes(hostsPath), kClean + "\r\n" + kLines);
    }
};

TEST_F(HostsWatch, ABlockRemovedByAnotherProgramIsPutBackAndTheParentToldOnceAMinute) {
    MainWindow& main = StartMainWindow();
    StartBlocking();
    EXPECT_EQ(answers.flushes, 1) << "the start flushed the resolver cache";
    const std::string folder = windir + "\\system32\\drivers\\etc";
    // Removals in quick succession, as a tool that fights the block makes them: each one is put
    // back and flushed, but the parent hears only of the first within the minute.
    const struct {
        const char* name;
        std::function<void()> removal;
        std::string before;  // what the put-back appends to
        bool told;
    } rows[] = {
        {"reset to its clean content", [&] { WriteBytes(hostsPath, kClean); }, kClean, true},
        {"file deleted", [&] { DeleteFileA(hostsPath.c_str()); }, "", false},
        {"folder renamed, a new one made with a clean file",
         [&] {
             ASSERT_TRUE(MoveFileA(folder.c_str(), (folder + ".old").c_str()));
             ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
             WriteBytes(hostsPath, kClean);
         },
         kClean, false},
        {"lines deleted by hand in the new folder", [&] { WriteBytes(hostsPath, kClean + "# mine\r\n"); },
         kClean + "# mine\r\n", false},
    };
    int flushes = answers.flushes;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        balloons.clear();
        prompts.boxes.clear();
        row.removal();
        ASSERT_TRUE(RunLoopUntil([&] { return Blocked(); })) << "the block did not come back";
        EXPECT_EQ(ReadBytes(hostsPath), row.before + "\r\n" + kLines) << "one full set appended";
        EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), kClean) << "the backup keeps the clean copy";
        EXPECT_EQ(answers.flushes, ++flushes);
        // The program's own write is no removal: nothing more happens.
        RunLoopUntil([] { return false; }, 300);
        EXPECT_EQ(ReadBytes(hostsPath), row.before + "\r\n" + kLines);
        EXPECT_EQ(BalloonTexts(), row.told ? std::vector<std::string>{kPutBack} : std::vector<std::string>{});
        EXPECT_TRUE(prompts.boxes.empty());
    }

    // The stop puts back the clean copy byte for byte, flushes, and the watch ends with the block.
    main.Unlock();
    Click(kIdStartStopButton);
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_EQ(answers.flushes, ++flushes);
    WriteBytes(hostsPath, "# edited while off\r\n");
    RunLoopUntil([] { return false; }, 500);
    EXPECT_EQ(ReadBytes(hostsPath), "# edited while off\r\n") << "nothing is watched while blocking is off";
    EXPECT_EQ(answers.flushes, flushes);
}

TEST_F(HostsWatch, OnlyTheLinesThisRunWroteAreGuarded) {
    MainWindow& main = StartMainWindow();
    StartBlocking();
    // An entry added while blocking reaches the hosts file at the next start; until then an edit
    // that keeps the written lines (another tool's, or the parent's own) leaves the block alone.
    prompts.inputAnswers = {std::string("c.example")};
    main.OnAddWebsiteClicked();
    const std::string edited = kClean + "\r\n" + kLines + "10.0.0.1 printer\r\n";
    balloons.clear();
    WriteBytes(hostsPath, edited);
    RunLoopUntil([] { return false; }, 500);
    EXPECT_EQ(ReadBytes(hostsPath), edited) << "the written lines are all there";
    EXPECT_TRUE(balloons.empty());

    // With the list cleared, the written lines are still guarded and come back as they were.
    main.OnClearListClicked();
    WriteBytes(hostsPath, kClean);
    ASSERT_TRUE(RunLoopUntil([&] { return Blocked(); })) << "the removal went unnoticed";
    EXPECT_EQ(ReadBytes(hostsPath), kClean + "\r\n" + kLines);
    EXPECT_EQ(BalloonTexts(), std::vector<std::string>{kPutBack});
    DropMainWindow();

    // A standard user's resumed start writes nothing: there is no block of its own to guard, and
    // nothing to tell of.
    answers.administrator = false;
    settings.Save(kKeyBlockOnStart, "1");
    MainWindow& resumed = StartMainWindow();
    ASSERT_TRUE(resumed.State().blocking);
    balloons.clear();
    WriteBytes(hostsPath, kClean);
    RunLoopUntil([] { return false; }, 1000);
    EXPECT_TRUE(balloons.empty());
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
}

// The watch waits until a program that rewrites the hosts file in steps is done, so every put-back
// keeps what that program wrote.
TEST_F(HostsWatch, APutBackKeepsWhatAProgramWritingTheFileInStepsWrote) {
    StartMainWindow();
    StartBlocking();
    for (int rewrite = 0; rewrite < 13; ++rewrite) {
        SCOPED_TRACE("rewrite " + std::to_string(rewrite));
        const std::string clean = kClean + "# rewritten " + std::to_string(rewrite) + "\r\n";
        bool rewritten = false;
        std::thread program([&] { rewritten = RewriteInSteps(hostsPath, clean, 20 + rewrite * 37 % 150); });
        const bool back = RunLoopUntil([&] { return ReadBytes(hostsPath) == clean + "\r\n" + kLines; });
        program.join();
        ASSERT_TRUE(rewritten);
        ASSERT_TRUE(back) << ReadBytes(hostsPath);
    }
}

}  // namespace
