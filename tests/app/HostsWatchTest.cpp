// The watch on the hosts file while blocking is on, through the real change notification that the
// message loop waits on: a block that another program removes comes back, the parent is told once,
// and every change the program makes to the hosts file flushes the resolver cache.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "HostsBlocker.h"
#include "MessagePump.h"
#include "support/MainWindowFixture.h"
#include "support/RecordedBalloons.h"

namespace {

const std::string kClean = "# the machine's hosts\r\n127.0.0.1 localhost\r\n";
const std::string kLines = "127.0.0.1          a.example\r\n127.0.0.1          b.example\r\n";
const char kPutBack[] = "Another program removed the block. It has been put back.";

class HostsWatch : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        balloons.clear();
        shellNotifyIcon = RecordBalloons;
        WriteBytes(hostsPath, kClean);
        settings.Save(kKeyBlockedWebsites, "a.example||My_Separator||b.example||My_Separator||");
    }

    // Lets the message loop wait on its messages and handles until the condition holds.
    bool RunLoopUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        int exitCode = 0;
        while (!condition() && std::chrono::steady_clock::now() < until) WaitForEvents(50, exitCode);
        return condition();
    }
    bool Blocked() const { return ReadBytes(hostsPath).find(kLines) != std::string::npos; }
    void StartBlocking() {
        Click(kIdStartStopButton);
        ASSERT_EQ(ReadBytes(hostsPath), kClean + "\r\n" + kLines);
    }
};

TEST_F(HostsWatch, ABlockRemovedByAnotherProgramIsPutBackAndTheParentTold) {
    MainWindow& main = StartMainWindow();
    StartBlocking();
    EXPECT_EQ(answers.flushes, 1) << "the start flushed the resolver cache";
    const struct {
        const char* name;
        std::function<void()> removal;
        std::string before;  // what the put-back appends to
        bool shown;          // the main window is shown, not hidden in the tray
    } rows[] = {
        {"reset to its clean content", [&] { WriteBytes(hostsPath, kClean); }, kClean, false},
        {"file deleted", [&] { DeleteFileA(hostsPath.c_str()); }, "", false},
        {"lines deleted by hand", [&] { WriteBytes(hostsPath, kClean + "# mine\r\n"); },
         kClean + "# mine\r\n", true},
    };
    int flushes = answers.flushes;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.shown) main.Unlock();
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
        if (row.shown) {
            ASSERT_EQ(prompts.boxes.size(), 1u);
            EXPECT_EQ(prompts.boxes[0].text, kPutBack);
            EXPECT_TRUE(balloons.empty());
        } else {
            EXPECT_EQ(BalloonTexts(), std::vector<std::string>{kPutBack});
            EXPECT_TRUE(prompts.boxes.empty());
        }
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

TEST_F(HostsWatch, EditsThatKeepTheLinesAndUsersWithoutRightsGetNoWrite) {
    StartMainWindow();
    StartBlocking();
    const std::string edited = kClean + "\r\n" + kLines + "10.0.0.1 printer\r\n";
    balloons.clear();
    WriteBytes(hostsPath, edited);
    RunLoopUntil([] { return false; }, 500);
    EXPECT_EQ(ReadBytes(hostsPath), edited) << "another tool's own lines leave the block alone";
    EXPECT_TRUE(balloons.empty());
    DropMainWindow();

    // A standard user's resumed block: the parent is told once per removal, and nothing is written.
    answers.administrator = false;
    settings.Save(kKeyBlockOnStart, "1");
    MainWindow& resumed = StartMainWindow();
    ASSERT_TRUE(resumed.State().blocking);
    balloons.clear();
    WriteBytes(hostsPath, kClean);
    ASSERT_TRUE(RunLoopUntil([] { return !balloons.empty(); })) << "the parent was not told";
    WriteBytes(hostsPath, kClean + "# again\r\n");
    RunLoopUntil([] { return false; }, 500);
    EXPECT_EQ(BalloonTexts(),
              std::vector<std::string>{"Another program removed the block. Start Parvalisk as "
                                       "administrator to put it back."});
    EXPECT_EQ(ReadBytes(hostsPath), kClean + "# again\r\n");
}

}  // namespace
