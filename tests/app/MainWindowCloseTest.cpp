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
#include "support/ScriptedPrompts.h"
#include "support/TempTree.h"
#include "MessagePump.h"

namespace {

const char kCloseLocation[] = "in Nestwarden2021/08/31.Form1.Form_QueryUnload ";
const char kSeparator[] = "||My_Separator||";

// The balloons the tray control asks the shell for, recorded on their way to the shell.
std::vector<NOTIFYICONDATAA> balloons;
BOOL WINAPI RecordBalloons(DWORD message, PNOTIFYICONDATAA record) {
    if (message == NIM_MODIFY && (record->uFlags & NIF_INFO) && record->szInfo[0] != '\0')
        balloons.push_back(*record);
    return Shell_NotifyIconA(message, record);
}

class MainWindowCloseTest : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        LoadForm();
    }
    // The main window as the program loads it (the scripted answers say who the user is).
    void LoadForm() {
        form = std::make_unique<MainWindow>(Parts());
        form->Load();
        ASSERT_EQ(form->state_.dataFolder, dataFolder);
        ProcessPendingEvents();
        prompts.boxes.clear();
    }
    void TearDown() override {
        form.reset();
        ProcessPendingEvents();
        TempTree::TearDown();
    }

    void Minimise() {
        // The shell's word that the balloon went, waiting in the queue: the balloon's wait ends
        // at its first look instead of after its 5 seconds.
        PostMessageA(form->trayIcon_.Window(), kTrayCallbackMessage, kTrayIconId, NIN_BALLOONTIMEOUT);
        ShowWindow(form->hwnd(), SW_MINIMIZE);
        ProcessPendingEvents();
    }
    void SetList(std::initializer_list<const char*> entries) {
        form->websiteList_.Clear();
        for (const char* entry : entries) form->websiteList_.Append(entry);
    }
    // The main window is gone (destroyed after its close).
    bool Closed() const { return form->hwnd() == nullptr; }

    std::unique_ptr<MainWindow> form;
};

TEST_F(MainWindowCloseTest, MinimiseHidesInTheTrayAndComesBackNormal) {
    ASSERT_TRUE(IsWindowVisible(form->hwnd()));
    Minimise();
    EXPECT_FALSE(IsWindowVisible(form->hwnd())) << "hidden: no taskbar entry";
    EXPECT_TRUE(form->state_.hiddenInTray);
    EXPECT_TRUE(form->trayIcon_.InTray()) << "the tray icon is there to bring it back";
    EXPECT_FALSE(IsWindowEnabled(form->startStopButton_.hwnd)) << "its controls are disabled while hidden";

    // What an accepted password does.
    form->state_.hiddenInTray = false;
    form->SetVisible(true);
    EXPECT_TRUE(IsWindowVisible(form->hwnd()));
    EXPECT_FALSE(IsIconic(form->hwnd())) << "shown again in its normal state";
    EXPECT_TRUE(IsWindowEnabled(form->startStopButton_.hwnd));
}

TEST_F(MainWindowCloseTest, BalloonOnTheFirstMinimiseOfARunOnly) {
    balloons.clear();
    shellNotifyIcon = RecordBalloons;
    LoadForm();  // the window hands its records to the recorder

    Minimise();
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_STREQ(balloons[0].szInfo,
                 "has been minimized to the system tray.\r\n"
                 "Click on the blue 'K' icon (K for Kelmarin) to bring the software back.");
    EXPECT_STREQ(balloons[0].szInfoTitle, "Parvalisk");
    EXPECT_EQ(balloons[0].uTimeout, 5000u);
    EXPECT_EQ(balloons[0].hWnd, form->trayIcon_.Window());

    // Back through the password window, then hidden again: no second balloon in the same run.
    form->OnTrayIconClicked();
    SendMessageA(form->passwordWindow_->okButton_.hwnd, BM_CLICK, 0, 0);
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
    SetList({"a.example", "b.example"});
    ListView_SetItemState(form->websiteList_.hwnd, 0, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    SetWindowTextA(form->passwordField_.hwnd, "Blue Kite");
    const std::string password = settings.Get(kKeyPassword);
    Minimise();
    ASSERT_TRUE(form->state_.hiddenInTray);

    HWND main = form->hwnd();
    auto click = [](const Control& control) { SendMessageA(control.hwnd, BM_CLICK, 0, 0); };
    auto command = [&](const Control& control) {
        PostMessageA(main, WM_COMMAND, MAKEWPARAM(control.id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control.hwnd));
    };
    auto notify = [&](UINT code) {
        NMHDR header{form->websiteList_.hwnd, kIdWebsiteList, code};
        SendMessageA(main, WM_NOTIFY, kIdWebsiteList, reinterpret_cast<LPARAM>(&header));
    };
    const struct {
        const char* how;
        std::function<void()> send;
        bool asksForThePassword;
    } rows[] = {
        {"click on Start/Stop", [&] { click(form->startStopButton_); }, false},
        {"click on Clear List", [&] { click(form->clearListButton_); }, false},
        {"click on the list-file button", [&] { click(form->loadFromFileButton_); }, false},
        {"click on Add Website", [&] { click(form->addWebsiteButton_); }, false},
        {"click on Help", [&] { click(form->helpButton_); }, false},
        {"click on the start-up box", [&] { click(form->startWithWindowsBox_); }, false},
        {"command for Start/Stop", [&] { command(form->startStopButton_); }, false},
        {"command for the sample sites", [&] { command(form->loadSamplesButton_); }, false},
        {"command for the start-in-tray box", [&] { command(form->startInTrayBox_); }, false},
        {"space on Start/Stop",
         [&] {
             PostMessageA(form->startStopButton_.hwnd, WM_KEYDOWN, VK_SPACE, 0);
             PostMessageA(form->startStopButton_.hwnd, WM_KEYUP, VK_SPACE, 0xC0000001);
         },
         false},
        {"Delete on the list", [&] { PostMessageA(form->websiteList_.hwnd, WM_KEYDOWN, VK_DELETE, 1); },
         false},
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
        {"text for the password field", [&] { SetWindowTextA(form->passwordField_.hwnd, "child"); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        row.send();
        ProcessPendingEvents();
        EXPECT_FALSE(IsWindowVisible(main)) << "still hidden";
        EXPECT_TRUE(form->state_.hiddenInTray);
        EXPECT_EQ(form->passwordWindow_ && form->passwordWindow_->Loaded(), row.asksForThePassword);
        EXPECT_EQ(form->startStopButton_.Caption(), "Start Blocking");
        EXPECT_EQ(ReadBytes(hostsPath), clean) << "no block started";
        EXPECT_EQ(form->websiteList_.Count(), 2u);
        EXPECT_EQ(settings.Get(kKeyBlockedWebsites, "<absent>"), "<absent>") << "no list command ran";
        EXPECT_EQ(settings.Get(kKeyWindowsStartup, "<absent>"), "<absent>");
        EXPECT_EQ(settings.Get(kKeyMinimized, "<absent>"), "<absent>");
        EXPECT_EQ(settings.Get(kKeyPassword), password) << "the stored password stays";
        EXPECT_EQ(form->passwordField_.Caption(), "Blue Kite") << "the field keeps what the parent typed";
        EXPECT_TRUE(prompts.boxes.empty() && prompts.inputPrompts.empty() && prompts.fileRequests.empty())
            << "no box, input box or file dialog";
        if (form->passwordWindow_) form->passwordWindow_->Unload();
    }

    // The password still brings the window back, and its controls work again.
    form->OnTrayIconClicked();
    SetWindowTextA(form->passwordWindow_->passwordField_.hwnd, "Blue Kite");
    SendMessageA(form->passwordWindow_->okButton_.hwnd, BM_CLICK, 0, 0);
    ASSERT_TRUE(IsWindowVisible(main));
    click(form->helpButton_);
    EXPECT_EQ(prompts.boxes.size(), 1u) << "Help answers again";
}

TEST_F(MainWindowCloseTest, SecondMinimiseAfterUnlockHidesAgain) {
    Minimise();
    form->OnTrayIconClicked();
    ProcessPendingEvents();
    ASSERT_TRUE(form->passwordWindow_ && form->passwordWindow_->Loaded());
    SendMessageA(form->passwordWindow_->okButton_.hwnd, BM_CLICK, 0, 0);  // no password set
    ASSERT_TRUE(IsWindowVisible(form->hwnd()));
    ASSERT_FALSE(form->trayIcon_.InTray());

    Minimise();
    EXPECT_FALSE(IsWindowVisible(form->hwnd()));
    EXPECT_TRUE(form->state_.hiddenInTray);
    EXPECT_TRUE(form->trayIcon_.InTray()) << "the icon is back in the notification area";
}

TEST_F(MainWindowCloseTest, TrayClickOpensOneUnownedPasswordWindowForAnyButton) {
    for (int button : {1, 2}) {
        SCOPED_TRACE(button);
        form->passwordWindow_.reset();
        Minimise();
        form->OnTrayIconClicked();
        ProcessPendingEvents();
        ASSERT_TRUE(form->passwordWindow_ && form->passwordWindow_->Loaded());
        HWND window = form->passwordWindow_->hwnd();
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
        form->OnTrayIconClicked();
        EXPECT_EQ(form->passwordWindow_->hwnd(), window) << "the same window is shown again";
        form->passwordWindow_->Unload();
        form->state_.hiddenInTray = false;
        form->SetVisible(true);
    }
    // Also while the main window is shown.
    ASSERT_TRUE(IsWindowVisible(form->hwnd()));
    form->OnTrayIconClicked();
    EXPECT_TRUE(form->passwordWindow_->Loaded());
}

TEST_F(MainWindowCloseTest, ASecondStartBringsTheRunningCopyForward) {
    // Shown: the window stays as it is, with no password window.
    PostMessageA(form->hwnd(), SecondStartMessage(), 0, 0);
    ProcessPendingEvents();
    EXPECT_TRUE(IsWindowVisible(form->hwnd()));
    EXPECT_FALSE(form->passwordWindow_ && form->passwordWindow_->Loaded());

    // Hidden in the tray: only the password window opens, as a click on the tray icon does.
    Minimise();
    PostMessageA(form->hwnd(), SecondStartMessage(), 0, 0);
    ProcessPendingEvents();
    EXPECT_FALSE(IsWindowVisible(form->hwnd()));
    ASSERT_TRUE(form->passwordWindow_ && form->passwordWindow_->Loaded());
    EXPECT_TRUE(IsWindowVisible(form->passwordWindow_->hwnd()));
}

TEST_F(MainWindowCloseTest, CloseWhileBlockingRecordsTheBlockAndKeepsTheHostsFile) {
    const std::string blocked = "127.0.0.1 localhost\r\n127.0.0.1 a.example\r\n";
    const std::string clean = "127.0.0.1 localhost\r\n";
    WriteBytes(hostsPath, blocked);
    MakeDataFolder();
    WriteBytes(dataFolder + "\\hosts", clean);
    settings.Save(kKeyMinimized, "Off");
    form->SetBlocking(true);
    SetList({"a.example", "b.example"});  // b added after the last Start/Stop click
    form->trayIcon_.SetInTray(true);

    form->Close();
    EXPECT_TRUE(Closed());
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "1");
    EXPECT_EQ(settings.Get(kKeyMinimized), "On");
    EXPECT_EQ(settings.Get(kKeyBlockedWebsites),
              std::string("a.example") + kSeparator + "b.example" + kSeparator);
    EXPECT_EQ(ReadBytes(hostsPath), blocked) << "closing never lifts an active block";
    EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), clean) << "the backup stays for the next start";
    EXPECT_FALSE(form->trayIcon_.InTray());
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
        {"not an administrator", false, true, "Off", blocked, true,
         "You must be logged in as Administrator in Windows in order to stop block sites."},
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
        SetList({});

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
        SetList({"x.example"});
        SendMessageA(form->hwnd(), row.message, row.wp, row.lp);
        ProcessPendingEvents();
        EXPECT_TRUE(Closed());
        EXPECT_EQ(settings.Get(kKeyBlockedWebsites, "<missing>"), std::string("x.example") + kSeparator);
        EXPECT_EQ(settings.Get(kKeyBlockOnStart, "<missing>"), "0");
        LoadForm();
    }
}

TEST_F(MainWindowCloseTest, SessionEndStoresWhatTheCloseStoresAndTearsNothingDown) {
    SetList({"s.example"});
    form->SetBlocking(true);
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
    EXPECT_TRUE(form->trayIcon_.InTray()) << "the tray icon stays";
    EXPECT_FALSE(Closed());

    // The program's own close still runs in full afterwards.
    SetList({"later.example"});
    form->Close();
    EXPECT_TRUE(Closed());
    EXPECT_EQ(settings.Get(kKeyBlockedWebsites), std::string("later.example") + kSeparator);
    EXPECT_FALSE(form->trayIcon_.InTray());

    // Nobody answers a box at the end of a session: a standard user whose close would be told
    // that it cannot stop the block is told nothing there.
    answers.administrator = false;
    settings.Save(kKeyBlockOnStart, "0");
    LoadForm();
    SetList({"quiet.example"});
    SendMessageA(form->hwnd(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(prompts.boxes.empty()) << prompts.boxes.size() << " boxes";
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "0");
    EXPECT_EQ(settings.Get(kKeyBlockedWebsites), std::string("quiet.example") + kSeparator);
    form->Close();

    // The session ends while the user's close shows that box: everything is stored before the
    // end-of-session message returns, although the close itself cannot go on meanwhile.
    LoadForm();
    SetList({"mid-close.example"});
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
    form->OnTrayIconClicked();
    ASSERT_TRUE(form->passwordWindow_ && form->passwordWindow_->Loaded());
    HWND window = form->passwordWindow_->hwnd();
    form->Close();
    EXPECT_TRUE(Closed());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(form->passwordWindow_->Loaded());
}

TEST_F(MainWindowCloseTest, RefusedSettingsAreReportedAndTheCloseGoesOn) {
    // A settings root that is no key at all: the store refuses every write.
    settings = SettingsStore(reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x7777)), "nowhere");
    form->trayIcon_.SetInTray(true);
    Minimise();
    form->OnTrayIconClicked();
    prompts.boxes.clear();
    form->Close();
    settings = SettingsStore(HKEY_CURRENT_USER, settingsKey);

    std::vector<int> lines;
    for (const RecordedBox& box : prompts.boxes) {
        EXPECT_EQ(box.title, "Application Error");
        size_t at = box.text.find(std::string(kCloseLocation) + "at line ");
        ASSERT_NE(at, std::string::npos) << box.text;
        lines.push_back(std::stoi(box.text.substr(at + std::string(kCloseLocation).size() + 8)));
    }
    EXPECT_EQ(lines, (std::vector<int>{104, 126})) << "each refused store is reported with its line";
    EXPECT_TRUE(Closed()) << "whatever fails, the close goes ahead";
    EXPECT_FALSE(form->trayIcon_.InTray());
    EXPECT_FALSE(form->passwordWindow_->Loaded());
}

}  // namespace
