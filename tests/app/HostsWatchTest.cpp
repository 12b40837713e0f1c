// The watch on the hosts file while a written block is on, driven without a window through the
// real change notification that the message loop waits on: a block that another program removes
// comes back (also when the hosts folder is renamed away), the parent is told at most once a
// minute, every put-back flushes the resolver cache, and only the lines the start wrote are
// guarded.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "HostsBlocker.h"
#include "HostsWatch.h"
#include "MessagePump.h"
#include "support/MainWindowFixture.h"
#include "support/RecordedBalloons.h"
#include "support/RewriteInSteps.h"
#include "UserTexts.h"
#include "support/MainWindowView.h"

namespace {

const std::string kClean = "# the machine's hosts\r\n127.0.0.1 localhost\r\n";
const std::string kLines = "127.0.0.1          a.example\r\n127.0.0.1          b.example\r\n";

// The window's side of the watch: the service's work done at once, what the parent is told
// recorded, and a window of the test's thread for the watch's timer.
struct RecordingOwner final : HostsWatchOwner {
    void WhileServiceWorks(const std::function<void()>& work) override { work(); }
    bool ServiceWorking() const override { return false; }
    void Tell(const std::string& text) override { told.push_back(text); }
    HWND TimerWindow() const override { return window; }

    std::vector<std::string> told;
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
};

// No window is made: the fixture gives the tree and the message loop's waits.
class HostsWatchTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        MakeDataFolder();
        WriteBytes(hostsPath, kClean);
        list.Append("a.example");
        list.Append("b.example");
        blocker = std::make_unique<DirectBlocker>(BlockingPlace{hostsPath, dataFolder, &owners});
        watch = std::make_unique<HostsWatch>(hostsPath, *blocker, answers, owner);
    }
    void TearDown() override {
        watch.reset();
        DestroyWindow(owner.window);
        MainWindowTest::TearDown();
    }

    // Writes the block of the list as it is now, as a start does, and guards it.
    void StartBlocking() {
        struct : FailureReport {
            void Show(const std::string& location, const std::string& description, int line) override {
                ADD_FAILURE() << location << " " << line << ": " << description;
            }
        } report;
        ASSERT_EQ(blocker->Start(ListedEntries(list), true, false, report), StartOutcome::Written);
        ASSERT_EQ(ReadBytes(hostsPath), kClean + "\r\n" + kLines);
        watch->GuardWrittenBlock(list);
        watch->Start();
    }
    bool Blocked() const { return ReadBytes(hostsPath).find(kLines) != std::string::npos; }

    WebsiteList list;
    RecordingOwner owner;
    // Made once the tree is there.
    std::unique_ptr<DirectBlocker> blocker;
    std::unique_ptr<HostsWatch> watch;
};

TEST_F(HostsWatchTest, ABlockRemovedByAnotherProgramIsPutBackAndTheParentToldOnceAMinute) {
    StartBlocking();
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
        owner.told.clear();
        row.removal();
        ASSERT_TRUE(RunLoopUntil([&] { return Blocked(); })) << "the block did not come back";
        EXPECT_EQ(ReadBytes(hostsPath), row.before + "\r\n" + kLines) << "one full set appended";
        EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), kClean) << "the backup keeps the clean copy";
        EXPECT_EQ(answers.flushes, ++flushes);
        // The program's own write is no removal: nothing more happens.
        RunLoopUntil([] { return false; }, 300);
        EXPECT_EQ(ReadBytes(hostsPath), row.before + "\r\n" + kLines);
        EXPECT_EQ(owner.told,
                  row.told ? std::vector<std::string>{kRemovedBlockPutBack} : std::vector<std::string>{});
    }

    // A lifted block is guarded no more.
    watch->ForgetWrittenBlock();
    WriteBytes(hostsPath, "# edited while off\r\n");
    RunLoopUntil([] { return false; }, 500);
    EXPECT_EQ(ReadBytes(hostsPath), "# edited while off\r\n") << "nothing is watched while blocking is off";
    EXPECT_EQ(answers.flushes, flushes);
}

TEST_F(HostsWatchTest, OnlyTheLinesTheStartWroteAreGuarded) {
    StartBlocking();
    // An entry added while blocking reaches the hosts file at the next start; until then an edit
    // that keeps the written lines (another tool's, or the parent's own) leaves the block alone.
    list.Append("c.example");
    const std::string edited = kClean + "\r\n" + kLines + "10.0.0.1 printer\r\n";
    WriteBytes(hostsPath, edited);
    RunLoopUntil([] { return false; }, 500);
    EXPECT_EQ(ReadBytes(hostsPath), edited) << "the written lines are all there";
    EXPECT_TRUE(owner.told.empty());

    // With the list cleared, the written lines are still guarded and come back as they were.
    list.Clear();
    WriteBytes(hostsPath, kClean);
    ASSERT_TRUE(RunLoopUntil([&] { return Blocked(); })) << "the removal went unnoticed";
    EXPECT_EQ(ReadBytes(hostsPath), kClean + "\r\n" + kLines);
    EXPECT_EQ(owner.told, std::vector<std::string>{kRemovedBlockPutBack});
}

// The watch waits until a program that rewrites the hosts file in steps is done, so every put-back
// keeps what that program wrote.
TEST_F(HostsWatchTest, APutBackKeepsWhatAProgramWritingTheFileInStepsWrote) {
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

// The window guards only a block its own start wrote: a standard user's resumed start writes
// nothing, so there is nothing of its own to put back or tell of.
using WindowHostsWatch = MainWindowTest;

TEST_F(WindowHostsWatch, AResumedStartThatWroteNothingIsNotWatched) {
    balloons.clear();
    shellNotifyIcon = RecordBalloons;
    WriteBytes(hostsPath, kClean);
    settings.Save(kKeyBlockedWebsites, "a.example||My_Separator||b.example||My_Separator||");
    answers.administrator = false;
    settings.Save(kKeyBlockOnStart, "1");
    MainWindow& resumed = StartMainWindow();
    ASSERT_TRUE(MainWindowView::State(resumed).blocking);
    balloons.clear();
    WriteBytes(hostsPath, kClean);
    RunLoopUntil([] { return false; }, 1000);
    EXPECT_TRUE(balloons.empty());
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
}

}  // namespace
