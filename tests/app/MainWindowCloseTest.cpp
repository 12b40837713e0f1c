#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "MainWindow.h"
#include "PasswordWindow.h"
#include "SettingsStore.h"
#include "SingleInstance.h"
#include "Handles.h"
#include "TrayIcon.h"
#include "support/MainWindowFixture.h"
#include "support/RecordedBalloons.h"
#include "MessagePump.h"
#include "UserTexts.h"
#include "support/MainWindowView.h"

namespace {

const char kCloseLocation[] = "in Nestwarden2021/08/31.Form1.Form_QueryUnload ";
const char kSeparator[] = "||My_Separator||";

class MainWindowCloseTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        LoadForm();
    }
    // The main window as the program loads it (the scripted answers say who the user is).
    void LoadForm() {
        StartMainWindow();
        ASSERT_EQ(MainWindowView::State(*form).dataFolder, dataFolder);
        ProcessPendingEvents();
        prompts.boxes.clear();
    }
    // The main window is gone (destroyed after its close).
    bool Closed() const { return form->hwnd() == nullptr; }
};

TEST_F(MainWindowCloseTest, MinimiseHidesInTheTrayAndComesBackNormal) {
    ASSERT_TRUE(IsWindowVisible(form->hwnd()));
    Minimise();
    EXPECT_FALSE(IsWindowVisible(form->hwnd())) << "hidden: no taskbar entry";
    EXPECT_TRUE(Locked());
    EXPECT_TRUE(MainWindowView::Tray(*form).InTray()) << "the tray icon is there to bring it back";
    EXPECT_FALSE(IsWindowEnabled(ControlWindow(kIdStartStopButton)))
        << "its controls are disabled while hidden";

    // What an accepted password does.
    form->Unlock();
    EXPECT_TRUE(IsWindowVisible(form->hwnd()));
    EXPECT_FALSE(IsIconic(form->hwnd())) << "shown again in its normal state";
    EXPECT_TRUE(IsWindowEnabled(ControlWindow(kIdStartStopButton)));
}

TEST_F(MainWindowCloseTest, BalloonOnTheFirstMinimiseOfARunOnly) {
    balloons.clear();
    shellNotifyIcon = RecordBalloons;
    LoadForm();  // the window hands its records to the recorder

    Minimise();
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_STREQ(balloons[0].szInfo, kMinimizeBalloonText);
    EXPECT_STREQ(balloons[0].szInfoTitle, kMinimizeBalloonTitle);
    EXPECT_EQ(balloons[0].uTimeout, 5000u);
    EXPECT_EQ(balloons[0].hWnd, MainWindowView::Tray(*form).Window());

    // Back through the password window, then hidden again: no second balloon in the same run.
    ClickTrayIcon();
    SendMessageA(OkOf(*MainWindowView::LoadedPasswordWindow(*form)), BM_CLICK, 0, 0);
    ASSERT_TRUE(IsWindowVisible(form->hwnd()));
    Minimise();
    EXPECT_FALSE(IsWindowVisible(form->hwnd()));
    EXPECT_EQ(balloons.size(), 1u);
}

// Hidden in the tray, the window is locked: whatever another program sends it (a click, a
// command, a key, a show, a restore, text for the password field), nothing happens but the
// password window. On Windows a disabled button already ignores BM_CLICK; Wine passes it on to
// the window, so these rows show the window's own refusal of commands, notifications and shows.
TEST_F(MainWindowCloseTest, TheLockedWindowRefusesWhatAnotherProgramSends) {
    const std::string clean = "127.0.0.1 localhost\r\n";
    WriteBytes(hostsPath, clean);
    SetEntries({"a.example", "b.example"});
    ListView_SetItemState(ListWindow(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SetWindowTextA(ControlWindow(kIdPasswordField), "Blue Kite");
    const std::string password = settings.Get(kKeyPassword);
    Minimise();
    ASSERT_TRUE(Locked());

    HWND main = form->hwnd();
    auto click = [](const Control& control) { SendMessageA(control.hwnd, BM_CLICK, 0, 0); };
    auto command = [&](const Control& control) {
        PostMessageA(main, WM_COMMAND, MAKEWPARAM(control.id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control.hwnd));
    };
    auto notify = [&](UINT code) {
        NMHDR header{ListWindow(), kIdWebsiteList, code};
        SendMessageA(main, WM_NOTIFY, kIdWebsiteList, reinterpret_cast<LPARAM>(&header));
    };
    const struct {
        const char* how;
        std::function<void()> send;
        bool asksForThePassword;
    } rows[] = {
        {"click on Start/Stop", [&] { click(MainWindowView::ControlById(*form, kIdStartStopButton)); },
         false},
        {"click on Clear List", [&] { click(MainWindowView::ControlById(*form, kIdClearListButton)); },
         false},
        {"click on the list-file button",
         [&] { click(MainWindowView::ControlById(*form, kIdLoadFromFileButton)); }, false},
        {"click on Add Website", [&] { click(MainWindowView::ControlById(*form, kIdAddWebsiteButton)); },
         false},
        {"click on Help", [&] { click(MainWindowView::ControlById(*form, kIdHelpButton)); }, false},
        {"click on Schedule", [&] { click(MainWindowView::ControlById(*form, kIdScheduleButton)); }, false},
        {"command for Schedule", [&] { command(MainWindowView::ControlById(*form, kIdScheduleButton)); },
         false},
        {"click on the start-up box",
         [&] { click(MainWindowView::ControlById(*form, kIdStartWithWindowsBox)); }, false},
        {"command for Start/Stop", [&] { command(MainWindowView::ControlById(*form, kIdStartStopButton)); },
         false},
        {"command for the sample sites",
         [&] { command(MainWindowView::ControlById(*form, kIdLoadSamplesButton)); }, false},
        {"command for the start-in-tray box",
         [&] { command(MainWindowView::ControlById(*form, kIdStartInTrayBox)); }, false},
        {"space on Start/Stop",
         [&] {
             PostMessageA(ControlWindow(kIdStartStopButton), WM_KEYDOWN, VK_SPACE, 0);
             PostMessageA(ControlWindow(kIdStartStopButton), WM_KEYUP, VK_SPACE, 0xC0000001);
         },
         false},
        {"Delete on the list", [&] { PostMessageA(ListWindow(), WM_KEYDOWN, VK_DELETE, 1); }, false},
        {"double-click on the list", [&] { notify(NM_DBLCLK); }, false},
        {"ShowWindow", [&] { ShowWindow(main, SW_SHOW); }, false},
        {"ShowWindowAsync restore", [&] { ShowWindowAsync(main, SW_RESTORE); }, false},
        {"ShowWindow minimised", [&] { ShowWindow(main, SW_SHOWMINNOACTIVE); }, false},
        {"SetWindowPos",
         [&] { SetWindowPos(main, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW); }, false},
        {"visible style",
         [&] { SetWindowLongA(main, GWL_STYLE, GetWindowLongA(main, GWL_STYLE) | WS_VISIBLE); }, false},
        {"restore command", [&] { PostMessageA(main, WM_SYSCOMMAND, SC_RESTORE, 0); }, true},
        {"maximise command", [&] { PostMessageA(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0); }, true},
        {"text for the password field", [&] { SetWindowTextA(ControlWindow(kIdPasswordField), "child"); },
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        row.send();
        ProcessPendingEvents();
        EXPECT_FALSE(IsWindowVisible(main)) << "still hidden";
        EXPECT_TRUE(Locked());
        EXPECT_EQ(MainWindowView::LoadedPasswordWindow(*form) != nullptr, row.asksForThePassword);
        EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
        EXPECT_EQ(ReadBytes(hostsPath), clean) << "no block started";
        EXPECT_EQ(MainWindowView::List(*form).Count(), 2u);
        EXPECT_EQ(settings.Get(kKeyBlockedWebsites, "<absent>"), "<absent>") << "no list command ran";
        EXPECT_EQ(settings.Get(kKeyStartWithWindows, "<absent>"), "<absent>");
        EXPECT_EQ(settings.Get(kKeyMinimized, "<absent>"), "<absent>");
        EXPECT_EQ(settings.Get(kKeyPassword), password) << "the stored password stays";
        EXPECT_EQ(Caption(kIdPasswordField), "Blue Kite") << "the field keeps what the parent typed";
        EXPECT_TRUE(prompts.boxes.empty() && prompts.inputPrompts.empty() && prompts.fileRequests.empty())
            << "no box, input box or file dialog";
        if (const PasswordWindow* open = MainWindowView::LoadedPasswordWindow(*form))
            SendMessageA(CancelOf(*open), BM_CLICK, 0, 0);
    }

    // The password still brings the window back, and its controls work again.
    ClickTrayIcon();
    SetWindowTextA(FieldOf(*MainWindowView::LoadedPasswordWindow(*form)), "Blue Kite");
    SendMessageA(OkOf(*MainWindowView::LoadedPasswordWindow(*form)), BM_CLICK, 0, 0);
    ASSERT_TRUE(IsWindowVisible(main));
    click(MainWindowView::ControlById(*form, kIdHelpButton));
    EXPECT_EQ(prompts.boxes.size(), 1u) << "Help answers again";
}

TEST_F(MainWindowCloseTest, SecondMinimiseAfterUnlockHidesAgain) {
    Minimise();
    ClickTrayIcon();
    ProcessPendingEvents();
    ASSERT_TRUE(MainWindowView::LoadedPasswordWindow(*form) != nullptr);
    SendMessageA(OkOf(*MainWindowView::LoadedPasswordWindow(*form)), BM_CLICK, 0, 0);  // no password set
    ASSERT_TRUE(IsWindowVisible(form->hwnd()));
    ASSERT_FALSE(MainWindowView::Tray(*form).InTray());

    Minimise();
    EXPECT_FALSE(IsWindowVisible(form->hwnd()));
    EXPECT_TRUE(Locked());
    EXPECT_TRUE(MainWindowView::Tray(*form).InTray()) << "the icon is back in the notification area";
}

TEST_F(MainWindowCloseTest, TrayClickOpensOneUnownedPasswordWindowForAnyButton) {
    for (int button : {1, 2}) {
        SCOPED_TRACE(button);
        Minimise();
        ClickTrayIcon(button == 1 ? WM_LBUTTONUP : WM_RBUTTONUP);
        ProcessPendingEvents();
        ASSERT_TRUE(MainWindowView::LoadedPasswordWindow(*form) != nullptr);
        HWND window = MainWindowView::LoadedPasswordWindow(*form)->hwnd();
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
        ClickTrayIcon(button == 1 ? WM_LBUTTONUP : WM_RBUTTONUP);
        EXPECT_EQ(MainWindowView::LoadedPasswordWindow(*form)->hwnd(), window)
            << "the same window is shown again";
        SendMessageA(CancelOf(*MainWindowView::LoadedPasswordWindow(*form)), BM_CLICK, 0, 0);
        form->Unlock();
    }
    // Also while the main window is shown, with the icon start-up put in the tray.
    LoadForm();
    ASSERT_TRUE(IsWindowVisible(form->hwnd()));
    ClickTrayIcon();
    EXPECT_NE(MainWindowView::LoadedPasswordWindow(*form), nullptr);
}

TEST_F(MainWindowCloseTest, ASecondStartBringsTheRunningCopyForward) {
    // Shown: the window stays as it is, with no password window.
    PostMessageA(form->hwnd(), SecondStartMessage(), 0, 0);
    ProcessPendingEvents();
    EXPECT_TRUE(IsWindowVisible(form->hwnd()));
    EXPECT_FALSE(MainWindowView::LoadedPasswordWindow(*form) != nullptr);

    // Hidden in the tray: only the password window opens, as a click on the tray icon does.
    Minimise();
    PostMessageA(form->hwnd(), SecondStartMessage(), 0, 0);
    ProcessPendingEvents();
    EXPECT_FALSE(IsWindowVisible(form->hwnd()));
    ASSERT_TRUE(MainWindowView::LoadedPasswordWindow(*form) != nullptr);
    EXPECT_TRUE(IsWindowVisible(MainWindowView::LoadedPasswordWindow(*form)->hwnd()));
}

TEST_F(MainWindowCloseTest, CloseWhileBlockingRecordsTheBlockAndKeepsTheHostsFile) {
    const std::string blocked = "127.0.0.1 localhost\r\n127.0.0.1 a.example\r\n";
    const std::string clean = "127.0.0.1 localhost\r\n";
    WriteBytes(hostsPath, blocked);
    MakeDataFolder();
    WriteBytes(dataFolder + "\\hosts", clean);
    settings.Save(kKeyMinimized, "Off");
    MainWindowView::SetBlocking(*form, true);
    SetEntries({"a.example", "b.example"});  // b added after the last Start/Stop click
    ASSERT_TRUE(MainWindowView::Tray(*form).InTray()) << "the icon is there from start-up on";

    form->Close();
    EXPECT_TRUE(Closed());
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "1");
    EXPECT_EQ(settings.Get(kKeyMinimized), "On");
    EXPECT_EQ(settings.Get(kKeyBlockedWebsites),
              std::string("a.example") + kSeparator + "b.example" + kSeparator);
    EXPECT_EQ(ReadBytes(hostsPath), blocked) << "closing never lifts an active block";
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), clean) << "the backup stays for the next start";
    EXPECT_FALSE(MainWindowView::Tray(*form).InTray());
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(MainWindowCloseTest, CloseWhileOffRestoresALeftBackupAndRecordsNoBlock) {
    const std::string blocked = "127.0.0.1 localhost\r\n127.0.0.1          a.example\r\n";
    const std::string clean = "127.0.0.1 localhost";
    const struct {
        const char* name;
        bool administrator;
        bool backupLeft;
        const char* minimized;
        std::string hostsAfter;
        bool backupAfter;
        const char* message;  // null: no box
    } rows[] = {
        {"administrator, no backup", true, false, "Off", blocked, false, nullptr},
        {"administrator, a backup left behind", true, true, "On", clean, false, nullptr},
        {"not an administrator", false, true, "Off", blocked, true, kNotAdministratorToStop},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(hostsPath, blocked);
        MakeDataFolder();
        DeleteFileA((dataFolder + "\\hosts").c_str());
        answers.administrator = row.administrator;
        LoadForm();
        // Stored after the start, which would otherwise resume a block or start in the tray.
        if (row.backupLeft) WriteBytes(dataFolder + "\\hosts", clean);
        settings.Save(kKeyMinimized, row.minimized);
        settings.Save(kKeyBlockOnStart, "1");
        SetEntries({});

        form->Close();
        EXPECT_TRUE(Closed());
        EXPECT_EQ(settings.Get(kKeyBlockOnStart), "0");
        EXPECT_EQ(settings.Get(kKeyMinimized), row.minimized) << "left as it was";
        EXPECT_EQ(settings.Get(kKeyBlockedWebsites, "<missing>"), "")
            << "an empty list is stored as the empty text";
        EXPECT_EQ(ReadBytes(hostsPath), row.hostsAfter);
        EXPECT_EQ(GetFileAttributesA((dataFolder + "\\hosts").c_str()) != INVALID_FILE_ATTRIBUTES,
                  row.backupAfter);
        if (row.message == nullptr) {
            EXPECT_TRUE(prompts.boxes.empty());
        } else {
            ASSERT_EQ(prompts.boxes.size(), 1u);
            EXPECT_EQ(prompts.boxes[0].text, row.message);
        }
    }
}

TEST_F(MainWindowCloseTest, EveryWayOfClosingRunsTheCloseOnce) {
    const struct {
        const char* how;
        UINT message;
        WPARAM wp;
        LPARAM lp;
    } rows[] = {
        {"close box", WM_CLOSE, 0, 0},
        {"system menu", WM_SYSCOMMAND, SC_CLOSE, 0},
        {"Alt+F4", WM_SYSKEYDOWN, VK_F4, static_cast<LPARAM>(1u << 29)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        RegDeleteTreeA(HKEY_CURRENT_USER, settingsKey.c_str());
        SetEntries({"x.example"});
        SendMessageA(form->hwnd(), row.message, row.wp, row.lp);
        ProcessPendingEvents();
        EXPECT_TRUE(Closed());
        EXPECT_EQ(settings.Get(kKeyBlockedWebsites, "<missing>"), std::string("x.example") + kSeparator);
        EXPECT_EQ(settings.Get(kKeyBlockOnStart, "<missing>"), "0");
        LoadForm();
    }
}

TEST_F(MainWindowCloseTest, SessionEndStoresWhatTheCloseStoresAndTearsNothingDown) {
    SetEntries({"s.example"});
    MainWindowView::SetBlocking(*form, true);
    EXPECT_EQ(SendMessageA(form->hwnd(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE)
        << "the program never holds up a shutdown or logoff";
    EXPECT_EQ(settings.Get(kKeyBlockOnStart, "<missing>"), "<missing>") << "asking is not yet ending";

    // A cancelled shutdown changes nothing.
    SendMessageA(form->hwnd(), WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(settings.Get(kKeyBlockOnStart, "<missing>"), "<missing>");

    SendMessageA(form->hwnd(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    // Everything is stored by the time the message returns: the session may end right after.
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "1");
    EXPECT_EQ(settings.Get(kKeyMinimized), "On");
    EXPECT_EQ(settings.Get(kKeyBlockedWebsites), std::string("s.example") + kSeparator);
    // The system ends the process; a message from another program leaves it running as it was.
    EXPECT_TRUE(MainWindowView::Tray(*form).InTray()) << "the tray icon stays";
    EXPECT_FALSE(Closed());

    // The program's own close still runs in full afterwards.
    SetEntries({"later.example"});
    form->Close();
    EXPECT_TRUE(Closed());
    EXPECT_EQ(settings.Get(kKeyBlockedWebsites), std::string("later.example") + kSeparator);
    EXPECT_FALSE(MainWindowView::Tray(*form).InTray());

    // Nobody answers a box at the end of a session: a standard user whose close would be told
    // that it cannot stop the block is told nothing there.
    answers.administrator = false;
    settings.Save(kKeyBlockOnStart, "0");
    LoadForm();
    SetEntries({"quiet.example"});
    SendMessageA(form->hwnd(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(prompts.boxes.empty()) << prompts.boxes.size() << " boxes";
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "0");
    EXPECT_EQ(settings.Get(kKeyBlockedWebsites), std::string("quiet.example") + kSeparator);
    form->Close();

    // The session ends while the user's close shows that box: everything is stored before the
    // end-of-session message returns, although the close itself cannot go on meanwhile.
    LoadForm();
    SetEntries({"mid-close.example"});
    settings.Save(kKeyBlockOnStart, "stale");
    bool storedInTime = false;
    prompts.whileBoxShown = [&] {
        prompts.whileBoxShown = nullptr;
        SendMessageA(form->hwnd(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        storedInTime = settings.Get(kKeyBlockOnStart) == "0" &&
                       settings.Get(kKeyBlockedWebsites) == std::string("mid-close.example") + kSeparator;
    };
    form->Close();
    EXPECT_TRUE(storedInTime);
    EXPECT_TRUE(Closed());
}

TEST_F(MainWindowCloseTest, CloseUnloadsAnOpenPasswordWindow) {
    Minimise();
    ClickTrayIcon();
    ASSERT_TRUE(MainWindowView::LoadedPasswordWindow(*form) != nullptr);
    HWND window = MainWindowView::LoadedPasswordWindow(*form)->hwnd();
    form->Close();
    EXPECT_TRUE(Closed());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(MainWindowView::LoadedPasswordWindow(*form), nullptr);
}

TEST_F(MainWindowCloseTest, RefusedSettingsAreReportedAndTheCloseGoesOn) {
    // A settings root that is no key at all: the store refuses every write.
    settings = SettingsStore(reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x7777)), "nowhere");
    ASSERT_TRUE(MainWindowView::Tray(*form).InTray()) << "the icon is there from start-up on";
    Minimise();
    ClickTrayIcon();
    prompts.boxes.clear();
    form->Close();
    settings = SettingsStore(HKEY_CURRENT_USER, settingsKey);

    std::vector<int> lines;
    for (const RecordedBox& box : prompts.boxes) {
        EXPECT_EQ(box.title, kErrorReportTitle);
        size_t at = box.text.find(std::string(kCloseLocation) + "at line ");
        ASSERT_NE(at, std::string::npos) << box.text;
        lines.push_back(std::stoi(box.text.substr(at + std::string(kCloseLocation).size() + 8)));
    }
    EXPECT_EQ(lines, (std::vector<int>{104, 126})) << "each refused store is reported with its line";
    EXPECT_TRUE(Closed()) << "whatever fails, the close goes ahead";
    EXPECT_FALSE(MainWindowView::Tray(*form).InTray());
    EXPECT_EQ(MainWindowView::LoadedPasswordWindow(*form), nullptr);
}

}  // namespace
