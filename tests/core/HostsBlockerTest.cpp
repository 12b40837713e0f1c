#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SettingsStore.h"
#include "Failure.h"
#include "Handles.h"
#include "Blocker.h"
#include "FileOwnership.h"
#include "HostsBlocker.h"
#include "ProgramPaths.h"
#include "ServiceProtocol.h"
#include "support/BlockingForm.h"
#include "support/SecurityReadBack.h"
#include "support/ListEntries.h"
#include "support/ScriptedPrompts.h"
#include "support/TempTree.h"
#include "Appearance.h"
#include "ErrorReport.h"
#include "UserTexts.h"
#include "support/MainWindowView.h"

namespace {

class HostsBlocking : public BlockingTree {
  protected:
    void SetUp() override {
        BlockingTree::SetUp();
        window = std::make_unique<BlockingForm>(Parts(), prompts, root);
    }
    // The program started again, as this run's parts and answers give it.
    void Restart(const MainWindowParts& parts) {
        window.reset();
        window = std::make_unique<BlockingForm>(parts, prompts, root);
    }
    void TearDown() override {
        window.reset();
        BlockingTree::TearDown();
    }
    std::string Report(DWORD error, int line) const {
        return SystemErrorText(error) + "\r\nin Nestwarden2021/08/31.Form1.StartBlocking at line " +
               std::to_string(line) + "\r\r" + kErrorReportRequest + kSupportEmailAddress;
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const RecordedBox& box : prompts.boxes) texts.push_back(box.text);
        return texts;
    }
    void ExpectNotice(size_t index, const std::string& text) {
        ASSERT_LT(index, prompts.boxes.size());
        EXPECT_EQ(prompts.boxes[index].text, text);
        EXPECT_EQ(prompts.boxes[index].title, ApplicationTitle());
        EXPECT_FALSE(ApplicationTitle().empty());
        EXPECT_EQ(prompts.boxes[index].style, 0u) << "OK button, no icon";
    }

    std::unique_ptr<BlockingForm> window;
};

TEST_F(HostsBlocking, UserStartWritesTheBlockAndStopPutsTheFileBack) {
    const std::string utf16 = std::string("\xFF\xFE", 2) + std::string("1\0 \0h\0", 6);
    struct Case {
        const char* name;
        std::string hosts;
        std::vector<std::string> entries;
        std::string written;
        DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    };
    const std::vector<Case> cases = {
        {"a hidden hosts file stays hidden",
         "H\r\n",
         {"h"},
         "H\r\n\r\n" + BlockLine("h"),
         FILE_ATTRIBUTE_HIDDEN},
        {"two entries after one line",
         "X\r\n",
         {"a.example", "b.example"},
         "X\r\n\r\n" + BlockLine("a.example") + BlockLine("b.example")},
        {"empty hosts file", "", {"a.example"}, "\r\n" + BlockLine("a.example")},
        {"a file holding the words empty file", "empty file", {"a"}, "empty file\r\n" + BlockLine("a")},
        {"no final line break", "127.0.0.1 localhost", {"x"}, "127.0.0.1 localhost\r\n" + BlockLine("x")},
        {"verbatim entries",
         "#\r\n",
         {" spaced ", "Site.EXAMPLE:80", "", "dup", "dup"},
         "#\r\n\r\n" + BlockLine(" spaced ") + BlockLine("Site.EXAMPLE:80") + BlockLine("") +
             BlockLine("dup") + BlockLine("dup")},
        {"a web address blocks its host",
         "#\r\n",
         {"https://www.example.com/page", "http://Site.EXAMPLE:8080/"},
         "#\r\n\r\n" + BlockLine("www.example.com") + BlockLine("Site.EXAMPLE")},
        {"entries cut at their first CR or LF",
         "#\r\n",
         {"one\r\ntwo", "three\nfour", "five\rsix", "\nlead", "ok"},
         "#\r\n\r\n" + BlockLine("one") + BlockLine("three") + BlockLine("five") + BlockLine("") +
             BlockLine("ok")},
        {"bytes kept as they are", utf16, {"y"}, utf16 + "\r\n" + BlockLine("y")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.boxes.clear();
        SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteBytes(hostsPath, c.hosts);
        SetFileAttributesA(hostsPath.c_str(), c.attributes);
        window->SetEntries(c.entries);

        window->UserStart();
        EXPECT_EQ(ReadBytes(hostsPath), c.written);
        EXPECT_EQ(ReadBytes(backupPath), c.hosts) << "the backup is the file as it was";
        EXPECT_EQ(window->Caption(), kStopBlockingCaption);
        EXPECT_TRUE(window->Minimized());
        EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
        // Recorded at once, so a run that ends without its close still resumes the block.
        EXPECT_EQ(settings.Get(kKeyBlockOnStart), "1");
        EXPECT_EQ(settings.Get(kKeyMinimized), "On");

        window->Stop();
        EXPECT_EQ(ReadBytes(hostsPath), c.hosts) << "the stop puts back the file exactly";
        EXPECT_EQ(GetFileAttributesA(hostsPath.c_str()) & FILE_ATTRIBUTE_HIDDEN,
                  c.attributes & FILE_ATTRIBUTE_HIDDEN);
        EXPECT_EQ(ReadBytes(backupPath), "<missing>") << "and deletes the backup";
        EXPECT_EQ(window->Caption(), kStartBlockingCaption);
        EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
        EXPECT_EQ(settings.Get(kKeyBlockOnStart), "0");
        EXPECT_EQ(settings.Get(kKeyMinimized), "Off") << "back to the start-in-tray box";
    }
}

TEST_F(HostsBlocking, StartStopStartRetakesTheBackupAndNeverDoublesTheLines) {
    window->SetEntries({"a.example"});
    WriteBytes(hostsPath, "first\r\n");
    window->UserStart();
    window->Stop();
    WriteBytes(hostsPath, "edited while off\r\n");
    window->UserStart();
    EXPECT_EQ(ReadBytes(backupPath), "edited while off\r\n") << "the second start takes a fresh backup";
    EXPECT_EQ(ReadBytes(hostsPath), "edited while off\r\n\r\n" + BlockLine("a.example"));
    window->Stop();
    EXPECT_EQ(ReadBytes(hostsPath), "edited while off\r\n");
    EXPECT_TRUE(prompts.boxes.empty());
}

// Whether a direct block keeps its entries for the service may be asked of the service manager;
// the question waits for the first block written, is asked once, and its answer decides.
TEST_F(HostsBlocking, KeptEntriesFollowTheAnswerAskedAtTheFirstWrite) {
    const std::vector<std::string> entry{"a.example"};
    for (bool serviceInstalled : {true, false}) {
        SCOPED_TRACE(serviceInstalled ? "a service is installed" : "no service");
        WriteBytes(hostsPath, "clean\r\n");
        int asked = 0;
        DirectBlocker blocker({hostsPath, dataFolder, &owners, AskedOnFirstUse([&] {
                                   ++asked;
                                   return serviceInstalled;
                               })});
        EXPECT_FALSE(blocker.HoldsBlock(ListedEntries(entry)));
        EXPECT_EQ(asked, 0) << "asked before a block was written";
        CollectedFailures report;
        ASSERT_EQ(blocker.Start(ListedEntries(entry), true, false, report), StartOutcome::Written);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(ReadBytes(BlockedEntriesPath(dataFolder)) != "<missing>", serviceInstalled);
        ASSERT_EQ(blocker.Stop(ListedEntries(entry), true, report, [] {}), StopOutcome::Lifted);
        ASSERT_EQ(blocker.Start(ListedEntries(entry), true, false, report), StartOutcome::Written);
        EXPECT_EQ(asked, 1) << "asked again";
        EXPECT_EQ(ReadBytes(BlockedEntriesPath(dataFolder)) != "<missing>", serviceInstalled);
        ASSERT_EQ(blocker.Stop(ListedEntries(entry), true, report, [] {}), StopOutcome::Lifted);
        EXPECT_EQ(ReadBytes(BlockedEntriesPath(dataFolder)), "<missing>");
    }
}

TEST_F(HostsBlocking, ResumeAtStartupAddsNoSecondSetAndKeepsTheCleanBackup) {
    window->SetEntries({"a.example", "b.example"});
    WriteBytes(hostsPath, "clean\r\n");
    window->UserStart();
    // The program closes while blocking and starts again: start-up resumes the block.
    window->form->Close();
    Restart(Parts());
    EXPECT_EQ(EntriesOf(MainWindowView::List(*window->form)),
              (std::vector<std::string>{"a.example", "b.example"}));
    const std::string set = BlockLine("a.example") + BlockLine("b.example");
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n\r\n" + set) << "the block in place is not written again";
    EXPECT_EQ(ReadBytes(backupPath), "clean\r\n");
    EXPECT_EQ(window->Caption(), kStopBlockingCaption);
    EXPECT_TRUE(window->Minimized());
    // Nor when the file could not have been written: the block is in place, nothing to tell.
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY);
    window->ResumeAtStartup();
    EXPECT_FALSE(window->ToldBlockNotPutBack());
    EXPECT_EQ(window->Caption(), kStopBlockingCaption);
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    window->Stop();
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_EQ(ReadBytes(backupPath), "<missing>");

    // A resume that finds no backup takes one.
    window->ResumeAtStartup();
    EXPECT_EQ(ReadBytes(backupPath), "clean\r\n");
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(HostsBlocking, UserStartKeepsABackupThatIsAlreadyThere) {
    // Left by a refused restore: the caption came back while the hosts file stayed blocked.
    window->SetEntries({"a.example"});
    WriteBytes(backupPath, "clean\r\n");
    WriteBytes(hostsPath, "clean\r\n\r\n" + BlockLine("a.example"));
    window->UserStart();
    EXPECT_EQ(ReadBytes(backupPath), "clean\r\n")
        << "the blocked hosts file is not copied over the clean copy";
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n\r\n" + BlockLine("a.example"))
        << "the block in place is not written again";
    EXPECT_EQ(window->Caption(), kStopBlockingCaption);
    window->Stop();
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(HostsBlocking, ARefusedWriteRemovesOnlyTheBackupThatStartTook) {
    // Wine enforces no access lists, so a hosts file a non-elevated user may not write is shown
    // with the read-only attribute, which refuses the write in the same way.
    window->SetEntries({"a.example"});
    WriteBytes(hostsPath, "clean\r\n");
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY);
    window->UserStart();
    ASSERT_EQ(prompts.boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
    ExpectNotice(0, kCouldNotStartBlocking);
    EXPECT_EQ(window->Caption(), kStartBlockingCaption);
    EXPECT_FALSE(window->Minimized());
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_EQ(ReadBytes(backupPath), "<missing>") << "a later stop must not roll the hosts file back to it";
    EXPECT_EQ(settings.Get(kKeyBlockOnStart, "<absent>"), "<absent>") << "nothing was blocked";

    window->Stop();  // the close while blocking is off
    EXPECT_EQ(prompts.boxes.size(), 1u) << "nothing to restore, nothing to say";
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");

    // The same at start-up, silently; and a backup kept from before is never removed.
    window->ResumeAtStartup();
    EXPECT_EQ(ReadBytes(backupPath), "<missing>");
    WriteBytes(backupPath, "kept\r\n");
    window->UserStart();
    window->ResumeAtStartup();
    EXPECT_EQ(ReadBytes(backupPath), "kept\r\n");
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");

    // A folder at the backup path is no backup: the start is refused and the folder stays.
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(backupPath.c_str());
    ASSERT_TRUE(CreateDirectoryA(backupPath.c_str(), nullptr));
    prompts.boxes.clear();
    window->UserStart();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kCouldNotStartBlocking});
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_NE(GetFileAttributesA(backupPath.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(HostsBlocking, ARefusedRestoreKeepsBlockingOnAndTheBackup) {
    window->SetEntries({"a.example"});
    WriteBytes(hostsPath, "clean\r\n");
    window->UserStart();
    const std::string blocked = "clean\r\n\r\n" + BlockLine("a.example");
    ASSERT_EQ(ReadBytes(hostsPath), blocked);

    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY);
    window->Stop();
    ASSERT_EQ(prompts.boxes.size(), 1u);
    ExpectNotice(0, kCouldNotRestoreSettings);
    EXPECT_EQ(window->Caption(), kStopBlockingCaption) << "every site is still blocked";
    EXPECT_EQ(ReadBytes(hostsPath), blocked);
    EXPECT_EQ(ReadBytes(backupPath), "clean\r\n");
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "1");

    // Once the hosts file can be written, the next stop puts the clean copy back.
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    window->Stop();
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_EQ(ReadBytes(backupPath), "<missing>");
    EXPECT_EQ(window->Caption(), kStartBlockingCaption);
    EXPECT_EQ(prompts.boxes.size(), 1u);

    // A folder standing at the backup path cannot be put back either.
    window->UserStart();
    ASSERT_EQ(ReadBytes(hostsPath), blocked);
    DeleteFileA(backupPath.c_str());
    ASSERT_TRUE(CreateDirectoryA(backupPath.c_str(), nullptr));
    window->Stop();
    EXPECT_EQ(BoxTexts().back(), kCouldNotRestoreSettings);
    EXPECT_EQ(window->Caption(), kStopBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), blocked);
}

TEST_F(HostsBlocking, RefusedWriteAtStartupIsSilentAndStillMinimises) {
    window->SetEntries({"a.example"});
    WriteBytes(hostsPath, "clean\r\n");
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY);
    window->ResumeAtStartup();
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(window->Caption(), kStopBlockingCaption);
    EXPECT_TRUE(window->Minimized());
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
}

TEST_F(HostsBlocking, StopWithoutBackupOrWithoutRights) {
    WriteBytes(hostsPath, "as it is\r\n");
    MainWindowView::SetBlocking(*window->form, true);
    window->Stop();
    EXPECT_TRUE(prompts.boxes.empty());
    EXPECT_EQ(window->Caption(), kStartBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), "as it is\r\n");

    WriteBytes(backupPath, "clean\r\n");
    answers.administrator = false;
    Restart(Parts());
    prompts.boxes.clear();
    MainWindowView::SetBlocking(*window->form, true);
    MainWindowView::StopBlocking(*window->form, true);
    EXPECT_TRUE(prompts.boxes.empty()) << "no notice at start-up";
    window->Stop();
    ASSERT_EQ(prompts.boxes.size(), 1u);
    ExpectNotice(0, kNotAdministratorToStop);
    EXPECT_EQ(window->Caption(), kStopBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), "as it is\r\n");
    EXPECT_EQ(ReadBytes(backupPath), "clean\r\n");
}

TEST_F(HostsBlocking, WithoutACleanCopyOnlyTheBlockLinesComeOut) {
    // The backup went while blocking (deleted, the data folder wiped): the stop takes out exactly
    // the lines a start writes, and a start keeps as the clean copy the file without them.
    const std::vector<std::string> list = {"a.example", "https://www.b.example/x"};
    const std::string set = BlockLine("a.example") + BlockLine("www.b.example");
    const std::string lookalikes = "127.0.0.1 a.example\r\n127.0.0.1          a.example\n" +
                                   BlockLine("a.exampleX") + "127.0.0.1          a.example";
    struct Case {
        const char* name;
        std::string blocked;
        std::string clean;
        bool wholeSet;  // the file holds the list's complete set
    };
    const std::vector<Case> cases = {
        {"one set", "clean\r\n\r\n" + set, "clean\r\n", true},
        {"every set of many restarts", "clean\r\n\r\n" + set + "\r\n" + set + "\r\n" + set, "clean\r\n",
         true},
        {"no final line break before the set", "127.0.0.1 localhost\r\n" + set, "127.0.0.1 localhost", true},
        {"an empty file before the set", "\r\n" + set, "", true},
        {"lines of others around and between the sets",
         "# top\r\n\r\n" + set + "# by hand\r\n" + BlockLine("other.example") + "\r\n" + set + "end",
         "# top\r\n# by hand\r\n" + BlockLine("other.example") + "end", true},
        {"a set written before an entry was added", "clean\r\n\r\n" + BlockLine("a.example"), "clean\r\n",
         false},
        {"lines that only look like block lines", "x\r\n" + lookalikes, "x\r\n" + lookalikes, false},
    };
    window->SetEntries(list);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.boxes.clear();
        DeleteFileA(backupPath.c_str());
        WriteBytes(hostsPath, c.blocked);
        MainWindowView::SetBlocking(*window->form, true);
        window->Stop();
        EXPECT_EQ(ReadBytes(hostsPath), c.clean);
        EXPECT_EQ(window->Caption(), kStartBlockingCaption);
        EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
        if (!c.wholeSet) continue;
        for (bool atStartup : {true, false}) {
            WriteBytes(hostsPath, c.blocked);
            atStartup ? window->ResumeAtStartup() : window->UserStart();
            EXPECT_EQ(ReadBytes(backupPath), c.clean) << "the clean copy is the file without the block";
            EXPECT_EQ(ReadBytes(hostsPath), c.blocked) << "the block in place is not written again";
            window->Stop();
            EXPECT_EQ(ReadBytes(hostsPath), c.clean);
            EXPECT_EQ(ReadBytes(backupPath), "<missing>");
        }
        EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
    }
    // A hosts file that refuses the write keeps its block, and blocking stays on.
    prompts.boxes.clear();
    WriteBytes(hostsPath, "clean\r\n\r\n" + set);
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY);
    MainWindowView::SetBlocking(*window->form, true);
    window->Stop();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kCouldNotRestoreSettings});
    EXPECT_EQ(window->Caption(), kStopBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n\r\n" + set);

    // An entry taken off the list since the start was written all the same: its line comes out.
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    window->Stop();
    WriteBytes(hostsPath, "clean\r\n");
    window->UserStart();
    DeleteFileA(backupPath.c_str());
    window->Unlock();
    window->SetEntries({list[0]});
    prompts.boxes.clear();
    window->Stop();
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_EQ(window->Caption(), kStartBlockingCaption);
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(HostsBlocking, ACleanCopyPutBackButNotDeletedIsReportedAndGoneAtTheNextStart) {
    window->SetEntries({"a.example"});
    WriteBytes(hostsPath, "clean\r\n");
    window->UserStart();
    {
        // Another program (a backup tool, a scanner) holds the copy open without delete sharing.
        UniqueFile holder{CreateFileA(backupPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr)};
        ASSERT_TRUE(holder);
        window->Stop();
    }
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_EQ(ReadBytes(backupPath), "clean\r\n");
    EXPECT_EQ(window->Caption(), kStartBlockingCaption) << "the block is lifted all the same";
    ASSERT_EQ(prompts.boxes.size(), 1u) << "the copy left behind is told";
    EXPECT_NE(prompts.boxes[0].text.find(SystemErrorText(ERROR_SHARING_VIOLATION) +
                                         "\r\nin Nestwarden2021/08/31.Form1.StopBlocking at line 106"),
              std::string::npos)
        << prompts.boxes[0].text;

    // The next start-up finds the copy equal to the hosts file, which holds no block: it goes,
    // and nothing is resumed.
    prompts.boxes.clear();
    Restart(Parts());
    EXPECT_EQ(window->Caption(), kStartBlockingCaption);
    EXPECT_FALSE(window->Minimized());
    EXPECT_EQ(ReadBytes(backupPath), "<missing>");
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(HostsBlocking, TheBackupIsWrittenBesideItsNameAndAPartialOneIsNeverKept) {
    const std::string partialPath = backupPath + ".partial";
    window->SetEntries({"a.example"});
    WriteBytes(hostsPath, "clean\r\n");
    // A copy cut short (the program ended, a power cut) left a part of it: the next start
    // removes it, also a read-only one, and takes the backup afresh, whole.
    WriteBytes(partialPath, "cle");
    SetFileAttributesA(partialPath.c_str(), FILE_ATTRIBUTE_READONLY);
    window->UserStart();
    EXPECT_EQ(ReadBytes(partialPath), "<missing>");
    EXPECT_EQ(ReadBytes(backupPath), "clean\r\n");
    // The next stop removes one too, and never puts it back.
    DeleteFileA(backupPath.c_str());
    WriteBytes(partialPath, "cle");
    window->Stop();
    EXPECT_EQ(ReadBytes(partialPath), "<missing>");
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());

    // The copy is refused for want of rights (an administrator who is not elevated, in a data
    // folder only elevated ones may write). Wine enforces no access lists: a folder standing at
    // the partial name gives the same ERROR_ACCESS_DENIED. The refusal is the start's own, told
    // once by its notice, and at start-up not at all; the hosts file is left alone.
    ASSERT_TRUE(CreateDirectoryA(partialPath.c_str(), nullptr));
    window->UserStart();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kCouldNotStartBlocking});
    EXPECT_EQ(window->Caption(), kStartBlockingCaption);
    prompts.boxes.clear();
    window->ResumeAtStartup();
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_EQ(ReadBytes(backupPath), "<missing>");
    RemoveDirectoryA(partialPath.c_str());
}

TEST_F(HostsBlocking, AFailureWhileTheBlockLinesAreMadeIsReportedAtItsOwnLine) {
    struct Recorded final : FailureReport {
        void Show(const std::string&, const std::string&, int line) override { lines.push_back(line); }
        std::vector<int> lines;
    } report;
    // The lines fail at once, or only after more than one buffer of them was made.
    for (int before : {0, 40000}) {
        const BlockEntries failing = [&](BlockLineWriter& lines) {
            for (int i = 0; i < before; ++i) lines.Add("a.example");
            throw Failure("Out of memory");
        };
        for (bool atStartup : {false, true}) {
            SCOPED_TRACE(std::to_string(before) + (atStartup ? " at start-up" : " by the user"));
            report.lines.clear();
            WriteBytes(hostsPath, "clean\r\n");
            EXPECT_EQ(StartBlock({hostsPath, dataFolder, &owners}, failing, true, atStartup, report),
                      StartOutcome::Refused);
            EXPECT_EQ(report.lines, std::vector<int>{120});
            EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
            EXPECT_EQ(ReadBytes(backupPath), "<missing>");
            EXPECT_EQ(ReadBytes(hostsPath + ".parvalisk-new"), "<missing>");
        }
    }
}

TEST_F(HostsBlocking, WithoutRightsTheUsersStartOnlyTakesTheBackup) {
    answers.administrator = false;
    Restart(Parts());
    window->SetEntries({"a.example"});
    WriteBytes(hostsPath, "clean\r\n");
    window->ResumeAtStartup();
    EXPECT_EQ(ReadBytes(backupPath), "<missing>") << "start-up takes no backup without rights";
    window->UserStart();
    EXPECT_EQ(ReadBytes(backupPath), "clean\r\n") << "the user's start takes it whatever the rights";
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(HostsBlocking, NoHostsFileIsBlockedAndStoppedBackToAnEmptyFile) {
    // With no hosts file the clean state is an empty file: the start keeps an empty backup, so
    // the stop lifts the block instead of leaving its lines for good.
    window->SetEntries({"a.example", "b.example"});
    window->UserStart();
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(ReadBytes(hostsPath), "\r\n" + BlockLine("a.example") + BlockLine("b.example"));
    EXPECT_EQ(ReadBytes(backupPath), "");
    EXPECT_EQ(window->Caption(), kStopBlockingCaption);
    window->Stop();
    EXPECT_TRUE(prompts.boxes.empty());
    EXPECT_EQ(window->Caption(), kStartBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), "");
    EXPECT_EQ(ReadBytes(backupPath), "<missing>");
}

TEST_F(HostsBlocking, AHostsFileThatCannotBeReadIsNeverRewritten) {
    // Another program holds the hosts file open: sharing nothing, or sharing writes and deletes
    // but not reads, so that the file could be replaced although it cannot be read.
    const DWORD kNothing = 0;
    const DWORD kNoReads = FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    struct Case {
        const char* name;
        DWORD share;
        bool atStartup;
        bool keptBackup;
        std::vector<std::string> boxes;
        std::string caption;
    };
    const std::vector<Case> cases = {
        {"user start, no backup",
         kNothing,
         false,
         false,
         {Report(ERROR_SHARING_VIOLATION, 106), Report(ERROR_SHARING_VIOLATION, 116), kCouldNotStartBlocking},
         kStartBlockingCaption},
        {"user start, kept backup",
         kNothing,
         false,
         true,
         {Report(ERROR_SHARING_VIOLATION, 116), kCouldNotStartBlocking},
         kStartBlockingCaption},
        {"user start, kept backup, no read sharing",
         kNoReads,
         false,
         true,
         {Report(ERROR_SHARING_VIOLATION, 116), kCouldNotStartBlocking},
         kStartBlockingCaption},
        {"start-up, no backup",
         kNothing,
         true,
         false,
         {Report(ERROR_SHARING_VIOLATION, 112), Report(ERROR_SHARING_VIOLATION, 116)},
         kStopBlockingCaption},
        {"start-up, kept backup",
         kNothing,
         true,
         true,
         {Report(ERROR_SHARING_VIOLATION, 116)},
         kStopBlockingCaption},
        {"start-up, kept backup, no read sharing",
         kNoReads,
         true,
         true,
         {Report(ERROR_SHARING_VIOLATION, 116)},
         kStopBlockingCaption},
    };
    window->SetEntries({"a.example"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.boxes.clear();
        DeleteFileA(backupPath.c_str());
        if (c.keptBackup) WriteBytes(backupPath, "kept\r\n");
        WriteBytes(hostsPath, "clean\r\n");
        {
            UniqueFile holder{CreateFileA(hostsPath.c_str(), GENERIC_READ | GENERIC_WRITE, c.share, nullptr,
                                          OPEN_EXISTING, 0, nullptr)};
            ASSERT_TRUE(holder);
            c.atStartup ? window->ResumeAtStartup() : window->UserStart();
        }
        EXPECT_EQ(BoxTexts(), c.boxes);
        EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
        EXPECT_EQ(ReadBytes(backupPath), c.keptBackup ? "kept\r\n" : "<missing>");
        EXPECT_EQ(window->Caption(), c.caption);
    }
}

TEST_F(HostsBlocking, AHostsFileHeldOpenWithoutDeleteSharingIsStillBlocked) {
    window->SetEntries({"a.example"});
    WriteBytes(hostsPath, "clean and longer than the block\r\n");
    {
        UniqueFile holder{CreateFileA(hostsPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr)};
        ASSERT_TRUE(holder);
        window->UserStart();
    }
    EXPECT_EQ(ReadBytes(hostsPath), "clean and longer than the block\r\n\r\n" + BlockLine("a.example"));
    EXPECT_EQ(window->Caption(), kStopBlockingCaption);
    EXPECT_TRUE(prompts.boxes.empty()) << ::testing::PrintToString(BoxTexts());
}

// A put-back never writes over a file that another program holds open for writing, as one that
// empties it and then writes it does: what that program writes would be lost. Once it is done,
// the block goes back after its content.
TEST_F(HostsBlocking, APutBackWaitsForAProgramThatHoldsTheFileForWriting) {
    const BlockingPlace place{hostsPath, dataFolder, &owners};
    const std::vector<std::string> entries = {"a.example"};
    const ListedEntries list(entries);
    WriteBytes(hostsPath, "");
    {
        UniqueFile writer{CreateFileA(hostsPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr)};
        ASSERT_TRUE(writer);
        EXPECT_TRUE(HostsFileHeldForWriting(hostsPath));
        EXPECT_EQ(PutBackBlock(place, list.Lines()), PutBackOutcome::Busy);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(writer.get(), "clean\r\n", 7, &written, nullptr));
    }
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_FALSE(HostsFileHeldForWriting(hostsPath));
    EXPECT_EQ(PutBackBlock(place, list.Lines()), PutBackOutcome::PutBack);
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n\r\n" + BlockLine("a.example"));
}

TEST_F(HostsBlocking, WithoutASafeCopyTheHostsFileIsLeftAlone) {
    window->SetEntries({"a.example"});
    WriteBytes(hostsPath, "clean\r\n");

    // A folder stands at the backup path: it is kept, nothing can hold the clean copy, so the
    // start is refused; the stop cannot restore from a folder and says so.
    CreateDirectoryA(backupPath.c_str(), nullptr);
    window->UserStart();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kCouldNotStartBlocking});
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_EQ(window->Caption(), kStartBlockingCaption);
    window->Stop();
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kCouldNotStartBlocking, kCouldNotRestoreSettings}));
    EXPECT_TRUE(GetFileAttributesA(backupPath.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    RemoveDirectoryA(backupPath.c_str());

    // The data folder is missing: the copy fails (line 106), the start is refused, and the
    // folder is not made here.
    prompts.boxes.clear();
    RemoveTree(dataFolder);
    window->UserStart();
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{Report(ERROR_PATH_NOT_FOUND, 106), kCouldNotStartBlocking}));
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    EXPECT_EQ(GetFileAttributesA(dataFolder.c_str()), INVALID_FILE_ATTRIBUTES);

    // The backup path cannot even be examined (here: a name the file system refuses). The
    // failed look is reported at its own line and takes no copy; nothing is written.
    prompts.boxes.clear();
    ErrorReportBox reports{prompts};
    DirectBlocker unexaminable({hostsPath, dataFolder + "\\bad|name", &owners});
    const std::vector<std::string> entry{"a.example"};
    EXPECT_EQ(unexaminable.Start(ListedEntries(entry), true, true, reports), StartOutcome::Refused);
    ASSERT_EQ(prompts.boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
    EXPECT_NE(prompts.boxes[0].text.find("StartBlocking at line 110\r\r"), std::string::npos)
        << prompts.boxes[0].text;
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    // Wine enforces no access lists, so the case this guards against on Windows (a kept
    // backup in a folder that may not be listed) cannot be staged here.
}

}  // namespace

// ---- the blocker believes only a backup of a trusted owner ---------------------------------

namespace {

const char kClean[] = "127.0.0.1 localhost\r\n";
const char kPlanted[] = "10.0.0.66 bank.example\r\n";

class PlantedBackup : public SecurityTree {
  protected:
    void SetUp() override {
        SecurityTree::SetUp();
        MakeDataFolder();
        SetApplicationTitle();
        backup = dataFolder + "\\hosts";
        WriteBytes(hostsPath, kClean);
    }
    void Plant(const std::string& owner) {
        WriteBytes(backup, kPlanted);
        planted.push_back(backup);
        if (!owner.empty()) PlantOwner(owners, backup, owner);
    }
    // The files moved aside in the data folder, with their content.
    std::vector<std::string> SetAside() {
        std::vector<std::string> contents;
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((backup + ".untrusted-*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return contents;
        do {
            std::string path = dataFolder + "\\" + found.cFileName;
            planted.push_back(path);
            contents.push_back(ReadBytes(path));
        } while (FindNextFileA(find, &found));
        FindClose(find);
        return contents;
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const RecordedBox& box : prompts.boxes) texts.push_back(box.text);
        return texts;
    }

    std::string backup;
};

}  // namespace

TEST_F(PlantedBackup, StopRestoresOnlyATrustedBackup) {
    struct Case {
        const char* owner;  // "" : the program wrote it
        bool restored;
    } cases[] = {{"S-1-5-32-545", false}, {"S-1-1-0", false},     {"S-1-5-21-1-2-3-1001", false}, {"", true},
                 {"S-1-5-18", true},      {"S-1-5-32-544", true}, {kOtherAdministrator, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("backup owner ") + (*c.owner ? c.owner : "the program"));
        const std::string blocked = std::string(kClean) + "\r\n127.0.0.1          mail.example\r\n";
        WriteBytes(hostsPath, blocked);
        Plant(c.owner);
        BlockingForm window(Parts(), prompts, root);
        MainWindowView::SetBlocking(*window.form, true);
        prompts.boxes.clear();

        window.Stop();

        EXPECT_EQ(window.Caption(), kStartBlockingCaption) << "the stop ends the block either way";
        EXPECT_TRUE(prompts.boxes.empty()) << (prompts.boxes.empty() ? "" : prompts.boxes[0].text);
        EXPECT_EQ(ReadBytes(backup), "<missing>");
        if (c.restored) {
            EXPECT_EQ(ReadBytes(hostsPath), kPlanted) << "a trusted backup is put back";
            EXPECT_TRUE(SetAside().empty());
        } else {
            EXPECT_EQ(ReadBytes(hostsPath), blocked) << "a planted backup reached the hosts file";
            EXPECT_EQ(SetAside(), std::vector<std::string>{kPlanted})
                << "the planted file must be kept aside";
        }
        for (const std::string& path : planted) {
            owners.Forget(path);
            DeleteFileA(path.c_str());
        }
        planted.clear();
    }
}

TEST_F(PlantedBackup, StartsSetAPlantedBackupAsideAndTakeAFreshOne) {
    for (bool atStartup : {false, true}) {
        SCOPED_TRACE(atStartup ? "start-up resume" : "user's start");
        WriteBytes(hostsPath, kClean);
        Plant("S-1-5-32-545");
        BlockingForm window(Parts(), prompts, root);
        window.SetEntries({"bank.example"});
        prompts.boxes.clear();

        atStartup ? window.ResumeAtStartup() : window.UserStart();

        EXPECT_TRUE(prompts.boxes.empty()) << (prompts.boxes.empty() ? "" : prompts.boxes[0].text);
        EXPECT_EQ(ReadBytes(backup), kClean) << "the fresh backup is the hosts file as it was";
        EXPECT_TRUE(IsTrustedOwner(backup, owners));
        EXPECT_EQ(SetAside(), std::vector<std::string>{kPlanted});
        EXPECT_EQ(ReadBytes(hostsPath), std::string(kClean) + "\r\n" + BlockLine("bank.example"));

        window.Stop();
        EXPECT_EQ(ReadBytes(hostsPath), kClean) << "the stop puts back the hosts file, not the planted one";
        for (const std::string& path : planted) {
            owners.Forget(path);
            DeleteFileA(path.c_str());
        }
        planted.clear();
    }
}

TEST_F(PlantedBackup, APlantedBackupThatCannotBeMovedIsRefused) {
    // Its planter holds it open without delete sharing, so it cannot be set aside.
    Plant("S-1-5-32-545");
    HANDLE held =
        CreateFileA(backup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    BlockingForm window(Parts(), prompts, root);
    window.SetEntries({"bank.example"});

    window.UserStart();
    EXPECT_EQ(ReadBytes(hostsPath), kClean)
        << "the start wrote a block with only a planted copy to go back to";
    ASSERT_EQ(prompts.boxes.size(), 2u);
    EXPECT_NE(prompts.boxes[0].text.find("StartBlocking at line 106"), std::string::npos)
        << prompts.boxes[0].text;
    EXPECT_EQ(prompts.boxes[1].text, kCouldNotStartBlocking);
    EXPECT_EQ(window.Caption(), kStartBlockingCaption);

    prompts.boxes.clear();
    MainWindowView::SetBlocking(*window.form, true);
    window.Stop();
    EXPECT_EQ(ReadBytes(hostsPath), kClean) << "the stop copied the planted backup";
    ASSERT_FALSE(prompts.boxes.empty());
    EXPECT_EQ(prompts.boxes.back().text, kCouldNotRestoreSettings);
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(backup), kPlanted) << "nothing is deleted";
}
