#include <gtest/gtest.h>

#include "core/BlockingToggle.h"
#include "support/MainWindowFixture.h"
#include "ui/Appearance.h"

namespace {

const std::string kSeparator = kWebsiteListSeparator;

class BlockingToggle : public MainWindowTest {
protected:
    Form1& StartWithList(const std::vector<std::string>& entries) {
        Form1& main = StartMainWindow();
        main.ListView1.Clear();
        for (const auto& entry : entries) main.ListView1.Append(entry);
        prompts.boxes.clear();
        return main;
    }
};

TEST_F(BlockingToggle, HelpShowsItsMessageAndChangesNothing) {
    Form1& main = StartWithList({"A"});
    Click(main.PushButton1);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text,
              "You must be logged in as Administrator in Windows in order to block sites. You must also have "
              "your User Account Control settings set low.");
    EXPECT_EQ(prompts.boxes[0].title, ApplicationTitle());
    EXPECT_EQ(prompts.boxes[0].style, static_cast<unsigned>(MB_OK));
    EXPECT_EQ(main.PushButton2.Caption(), "Start Blocking");
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "<absent>");
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>");
}

TEST_F(BlockingToggle, StartWithAnEmptyListSavesItAndAsksForASite) {
    WriteBytes(hostsPath, "127.0.0.1 localhost\r\n");
    SaveSetting(kKeyBlockedWebsites, "stored" + kSeparator);
    Form1& main = StartWithList({});
    Click(main.PushButton2);
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "") << "the empty list is saved first";
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text, "Please add site to block.");
    EXPECT_EQ(prompts.boxes[0].title, ApplicationTitle());
    EXPECT_EQ(prompts.boxes[0].style, static_cast<unsigned>(MB_OK));
    EXPECT_EQ(main.PushButton2.Caption(), "Start Blocking");
    EXPECT_EQ(ReadBytes(hostsPath), "127.0.0.1 localhost\r\n");
}

TEST_F(BlockingToggle, StartAsANonAdministratorIsRefusedWithTheCaptionUnchanged) {
    WriteBytes(hostsPath, "127.0.0.1 localhost\r\n");
    answers.administrator = false;
    Form1& main = StartWithList({"A", "B"});
    ASSERT_FALSE(main.UserIsAdmin);
    Click(main.PushButton2);
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "A" + kSeparator + "B" + kSeparator);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text, "You must be logged in as Administrator in Windows in order to block sites.");
    EXPECT_EQ(prompts.boxes[0].title, ApplicationTitle());
    EXPECT_EQ(prompts.boxes[0].style, static_cast<unsigned>(MB_OK));
    EXPECT_EQ(main.PushButton2.Caption(), "Start Blocking");
    EXPECT_EQ(main.SavedButtonCaption, "Start Blocking");
    EXPECT_EQ(ReadBytes(hostsPath), "127.0.0.1 localhost\r\n");
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>") << "no backup is taken";
}

const std::string kClean = "127.0.0.1 localhost\r\n";

TEST_F(BlockingToggle, StartAndStopAsAnAdministrator) {
    WriteBytes(hostsPath, kClean);
    Form1& main = StartWithList({"A", "B"});
    Click(main.PushButton2);
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "A" + kSeparator + "B" + kSeparator);
    EXPECT_EQ(main.PushButton2.Caption(), "Stop Blocking");
    EXPECT_EQ(main.SavedButtonCaption, "Start Blocking");
    EXPECT_EQ(ReadBytes(hostsPath), kClean + "\r\n127.0.0.1          A\r\n127.0.0.1          B\r\n");
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), kClean);
    EXPECT_FALSE(ShownNormally()) << "a successful start takes the window out of sight";
    EXPECT_TRUE(prompts.boxes.empty());

    // Stopping saves the list first, with what was added while blocking, then restores.
    main.ListView1.Append("added later");
    Click(main.PushButton2);
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "A" + kSeparator + "B" + kSeparator + "added later" + kSeparator);
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>");
    EXPECT_EQ(main.PushButton2.Caption(), "Start Blocking");
    EXPECT_TRUE(prompts.boxes.empty());

    // A fast double-click: the second click waits in the queue and arrives while the start lets
    // pending events run. It is ignored, so the caption and the hosts file agree.
    main.SetVisible(true);
    PostMessageA(main.PushButton2.hwnd, BM_CLICK, 0, 0);
    Click(main.PushButton2);
    EXPECT_EQ(main.PushButton2.Caption(), "Stop Blocking");
    EXPECT_EQ(ReadBytes(hostsPath), kClean + "\r\n127.0.0.1          A\r\n127.0.0.1          B\r\n"
                                             "127.0.0.1          added later\r\n");
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), kClean);
}

TEST_F(BlockingToggle, StartAsAnAdministratorWithTheWriteRefused) {
    WriteBytes(hostsPath, kClean);
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY);
    Form1& main = StartWithList({"A"});
    Click(main.PushButton2);
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text.rfind("Could not start blocking.\r\n", 0), 0u) << prompts.boxes[0].text;
    EXPECT_EQ(main.PushButton2.Caption(), "Start Blocking") << "the caption comes back";
    EXPECT_EQ(ReadBytes(hostsPath), kClean);
    EXPECT_TRUE(ShownNormally()) << "a refused start leaves the window where it is";
}

// The pointer rule, driven by the real WM_SETCURSOR a mouse move sends to the window.
TEST_F(BlockingToggle, PointerFollowsTheMouseExceptUnderTheHourglass) {
    Form1& main = StartMainWindow();
    struct Move {
        int before;
        HWND over;
        int after;
        const char* what;
    };
    const Move moves[] = {
        {kPointerDefault, main.PushButton2.hwnd, kPointerCustom, "button"},
        {kPointerCustom, main.hwnd(), kPointerDefault, "background"},
        {kPointerDefault, main.PushButton5.hwnd, kPointerCustom, "another button"},
        {kPointerCustom, main.ListView1.hwnd, kPointerDefault, "list"},
        {kPointerCustom, main.txtPassword.hwnd, kPointerDefault, "password field"},
        {kPointerCustom, main.Frame1.hwnd, kPointerDefault, "frame 1"},
        {kPointerCustom, main.Frame2.hwnd, kPointerDefault, "frame 2"},
        {kPointerBusy, main.PushButton1.hwnd, kPointerBusy, "button under the hourglass"},
        {kPointerBusy, main.hwnd(), kPointerBusy, "background under the hourglass"},
        {kPointerCustom, main.Check1.hwnd, kPointerCustom, "a check box has no handler"},
    };
    for (const Move& move : moves) {
        main.MousePointer = move.before;
        SendMessageA(main.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(move.over),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(main.MousePointer, move.after) << move.what;
    }
}

}  // namespace
