#include <gtest/gtest.h>

#include "support/MainWindowFixture.h"
#include "support/RecordedBalloons.h"
#include "Appearance.h"
#include "UserTexts.h"
#include "support/MainWindowView.h"

namespace {

const std::string kSeparator = kWebsiteListSeparator;

class BlockingToggle : public MainWindowTest {
  protected:
    MainWindow& StartWithList(const std::vector<std::string>& entries) {
        MainWindow& main = StartMainWindow();
        SetEntries(entries);
        prompts.boxes.clear();
        return main;
    }
};

TEST_F(BlockingToggle, HelpShowsItsMessageAndChangesNothing) {
    StartWithList({"A"});
    Click(kIdHelpButton);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text,
              "You must be logged in as Administrator in Windows in order to block sites. You must also have "
              "your User Account Control settings set low.");
    EXPECT_EQ(prompts.boxes[0].title, ApplicationTitle());
    EXPECT_EQ(prompts.boxes[0].style, static_cast<unsigned>(MB_OK));
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "<absent>");
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>");
}

TEST_F(BlockingToggle, StartWithAnEmptyListSavesItAndAsksForASite) {
    WriteBytes(hostsPath, "127.0.0.1 localhost\r\n");
    settings.Save(kKeyBlockedWebsites, "stored" + kSeparator);
    StartWithList({});
    Click(kIdStartStopButton);
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "") << "the empty list is saved first";
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text, kEmptyListMessage);
    EXPECT_EQ(prompts.boxes[0].title, ApplicationTitle());
    EXPECT_EQ(prompts.boxes[0].style, static_cast<unsigned>(MB_OK));
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), "127.0.0.1 localhost\r\n");
}

TEST_F(BlockingToggle, StartAsANonAdministratorIsRefusedWithTheCaptionUnchanged) {
    WriteBytes(hostsPath, "127.0.0.1 localhost\r\n");
    answers.administrator = false;
    MainWindow& main = StartWithList({"A", "B"});
    ASSERT_FALSE(MainWindowView::State(main).userIsAdmin);
    Click(kIdStartStopButton);
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "A" + kSeparator + "B" + kSeparator);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text, kAdministratorMessage);
    EXPECT_EQ(prompts.boxes[0].title, ApplicationTitle());
    EXPECT_EQ(prompts.boxes[0].style, static_cast<unsigned>(MB_OK));
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), "127.0.0.1 localhost\r\n");
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>") << "no backup is taken";
}

const std::string kClean = "127.0.0.1 localhost\r\n";

TEST_F(BlockingToggle, StartAndStopAsAnAdministrator) {
    WriteBytes(hostsPath, kClean);
    MainWindow& main = StartWithList({"A", "B"});
    Click(kIdStartStopButton);
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "A" + kSeparator + "B" + kSeparator);
    EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), kClean + "\r\n127.0.0.1          A\r\n127.0.0.1          B\r\n");
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), kClean);
    EXPECT_FALSE(ShownNormally()) << "a successful start takes the window out of sight";
    EXPECT_TRUE(prompts.boxes.empty());
    EXPECT_EQ(Setting(kKeyMinimized), "On");
    EXPECT_EQ(Value(kIdStartInTrayBox), 1) << "\"Start in system tray\" shows what the start stored";

    // Back from the tray, as the accepted password brings it, stopping saves the list first, with
    // what was added while blocking, then restores.
    main.Unlock();
    prompts.inputAnswers = {std::string("added later")};
    Click(kIdAddWebsiteButton);
    Click(kIdStartStopButton);
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "A" + kSeparator + "B" + kSeparator + "added later" + kSeparator);
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>");
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
    EXPECT_TRUE(prompts.boxes.empty());
    EXPECT_EQ(Setting(kKeyMinimized), "Off") << "the stop gives back the choice from before the start";
    EXPECT_EQ(Value(kIdStartInTrayBox), 0) << "and the box shows it";

    // A fast double-click: the second click waits in the queue and arrives while the start lets
    // pending events run. It is ignored, so the caption and the hosts file agree.
    MainWindowView::SetVisible(main, true);
    PostMessageA(ControlWindow(kIdStartStopButton), BM_CLICK, 0, 0);
    Click(kIdStartStopButton);
    EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), kClean +
                                        "\r\n127.0.0.1          A\r\n127.0.0.1          B\r\n"
                                        "127.0.0.1          added later\r\n");
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), kClean);
}

TEST_F(BlockingToggle, StartAsAnAdministratorWithTheWriteRefused) {
    WriteBytes(hostsPath, kClean);
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY);
    StartWithList({"A"});
    Click(kIdStartStopButton);
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text.rfind(kCouldNotStartBlockingLine, 0), 0u) << prompts.boxes[0].text;
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption) << "the caption comes back";
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_TRUE(ShownNormally()) << "a refused start leaves the window where it is";
}

TEST_F(BlockingToggle, ARefusedRecordOfAWrittenBlockIsToldAtItsOwnLineAndTheBlockIsWatched) {
    balloons.clear();
    shellNotifyIcon = RecordBalloonsEndingAtOnce;
    WriteBytes(hostsPath, kClean);
    StartWithList({"A"});
    // Settings under a volatile key: the store reads its defaults (no password among them) but
    // refuses every write, as no lasting key may be made under a volatile one.
    const std::string volatileKey = settingsKey + "-volatile";
    HKEY made = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, volatileKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &made, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(made);
    settings = SettingsStore(HKEY_CURRENT_USER, volatileKey);
    Click(kIdStartStopButton);
    settings = SettingsStore(HKEY_CURRENT_USER, settingsKey);
    RegDeleteTreeA(HKEY_CURRENT_USER, volatileKey.c_str());
    const std::string blocked = kClean + "\r\n127.0.0.1          A\r\n";
    EXPECT_EQ(ReadBytes(hostsPath), blocked);
    EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
    const std::string location = "in Nestwarden2021/08/31.Form1.StartBlocking at line ";
    std::vector<int> lines;
    for (const RecordedBox& box : prompts.boxes) {
        const size_t at = box.text.find(location);
        if (at != std::string::npos) lines.push_back(std::stoi(box.text.substr(at + location.size())));
    }
    EXPECT_EQ(lines, std::vector<int>{125}) << "the record is not the write of line 124";

    // The block that was written is guarded all the same.
    WriteBytes(hostsPath, kClean);
    EXPECT_TRUE(RunLoopUntil([&] { return ReadBytes(hostsPath) == blocked; })) << ReadBytes(hostsPath);
}

// The pointer rule, driven by the real WM_SETCURSOR a mouse move sends to the window.
TEST_F(BlockingToggle, PointerFollowsTheMouseExceptUnderTheHourglass) {
    MainWindow& main = StartMainWindow();
    struct Move {
        Pointer before;
        HWND over;
        Pointer after;
        const char* what;
    };
    const Move moves[] = {
        {Pointer::Default, ControlWindow(kIdStartStopButton), Pointer::Hand, "button"},
        {Pointer::Hand, main.hwnd(), Pointer::Default, "background"},
        {Pointer::Default, ControlWindow(kIdLoadSamplesButton), Pointer::Hand, "another button"},
        {Pointer::Hand, ListWindow(), Pointer::Default, "list"},
        {Pointer::Hand, ControlWindow(kIdPasswordField), Pointer::Default, "password field"},
        {Pointer::Hand, ControlWindow(kIdOptionsFrame), Pointer::Default, "frame 1"},
        {Pointer::Hand, ControlWindow(kIdPasswordFrame), Pointer::Default, "frame 2"},
        {Pointer::Busy, ControlWindow(kIdHelpButton), Pointer::Busy, "button under the hourglass"},
        {Pointer::Busy, main.hwnd(), Pointer::Busy, "background under the hourglass"},
        {Pointer::Hand, ControlWindow(kIdStartWithWindowsBox), Pointer::Hand, "a check box has no handler"},
    };
    for (const Move& move : moves) {
        SetPointerState(move.before);
        SendMessageA(main.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(move.over),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(MainWindowView::PointerState(main), move.after) << move.what;
    }
}

}  // namespace
