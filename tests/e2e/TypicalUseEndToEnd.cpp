// The typical use, end to end, on the built Parvalisk.exe: add a website through the input box,
// start blocking (the window hides in the tray), come back through the tray icon and the password
// window, stop blocking, close; then a run that is closed while blocking and the start after it,
// which resumes the block hidden in the tray.
//
// The program runs in this test's Wine prefix with the machine's hosts folder pointing at a
// temporary tree, so the hosts file it changes is the tree's. Its data folder and settings are the prefix's
// own; the test clears them before and after. Screenshots of the main window and the password window are
// saved beside the build's programs' folder (build\e2e-*.bmp).

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "MainWindow.h"
#include "PasswordHash.h"
#include "support/StoredPassword.h"
#include "PasswordWindow.h"
#include "SettingsStore.h"
#include "FileHelpers.h"
#include "Handles.h"
#include "HostsText.h"
#include "TrayIcon.h"
#include "support/EndToEndFixture.h"
#include "Appearance.h"
#include "InputBox.h"
#include "UserTexts.h"

namespace {

constexpr char kTrayControlClassName[] = "ParvaliskTrayControl";
constexpr char kPassword[] = "Blue Kite";
constexpr char kAddedSite[] = "added-by-hand.example";

using program_run::FindTopWindow;
using program_run::TextOf;
using program_run::WaitFor;

HWND FindChild(HWND parent, const std::string& className) {
    const std::string anyCaption;
    program_run::WindowQuery query{0, className, anyCaption};
    GetWindowThreadProcessId(parent, &query.process);
    EnumChildWindows(parent, program_run::MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

void Type(HWND field, const std::string& text) {
    for (char c : text) PostMessageA(field, WM_CHAR, static_cast<unsigned char>(c), 1);
}

// Posted, not sent: a click may open a modal box, and the test must stay free to answer it.
void Click(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

// Saves what the screen shows of the window as a 24-bit bitmap file.
bool SaveScreenshot(HWND window, const std::string& path) {
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    bool copied = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != FALSE;
    GdiFlush();
    DWORD rowBytes = ((width * 3 + 3) / 4) * 4;
    DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageBytes;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    bytes.append(static_cast<const char*>(bits), imageBytes);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copied && WriteFileText(path, bytes);
}

// The icons the shell shows in the notification area. Under Wine on a display without a tray of
// its own, the shell shows them in its standalone tray window, one child window per icon (this
// is how the test sees the icon; on Windows the icons live inside the taskbar's toolbar).
int TrayIconsShown() {
    HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
    int count = 0;
    HWND icon = nullptr;
    while (tray != nullptr && (icon = FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr)) != nullptr)
        ++count;
    return count;
}

std::string BlockedHosts(const std::string& before, const std::vector<std::string>& entries) {
    std::string text = before + "\r\n";
    for (const std::string& entry : entries) text += kBlockLinePrefix + entry + "\r\n";
    return text;
}

class TypicalUse : public EndToEndTest {
  protected:
    void SetUp() override {
        EndToEndTest::SetUp();
        // The program reads and writes the prefix's own settings; so do we here.
        settings = SettingsStore();
        WriteBytes(hostsPath, kCleanHosts);
        shots = ProgramFolder() + "\\..\\";
    }

    // Closes the main window as its close box does and waits for the program to end.
    void CloseProgram() {
        PostMessageA(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(program.WaitForExit(30000), 0) << "the program did not end well";
        program.End();
        main = nullptr;
    }

    // Starts the program again while it runs; answers the second copy's exit code (-1 when it
    // is still running after 20 seconds).
    long RunSecondCopy() {
        program_run::ProgramProcess second;
        if (!second.Start()) return -2;
        const long code = second.WaitForExit(20000);
        if (code != -1) secondCopyMadeAWindow = FindTopWindow(second.id(), kMainWindowClassName) != nullptr;
        return code;
    }
    // Unlocks the hidden main window through the tray icon (no password is stored).
    void Unlock() {
        HWND passwordWindow = ClickTrayIcon();
        ASSERT_NE(passwordWindow, nullptr);
        EXPECT_EQ(EnterPassword(passwordWindow, ""), "");
        ASSERT_TRUE(WaitFor([&] { return MainShown(); }));
    }
    // The program's own notice (OK, the application's title): its text, after pressing OK.
    std::string AnswerNotice() {
        HWND box = nullptr;
        if (!WaitFor([&] { return (box = FindTopWindow(program.id(), "#32770", ApplicationTitle())); }))
            return "<no notice>";
        std::string text;
        HWND child = nullptr;
        while ((child = FindWindowExA(box, child, "Static", nullptr)) != nullptr)
            if (!TextOf(child).empty()) text = TextOf(child);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitFor([&] { return !IsWindow(box); });
        return text;
    }
    std::string Backup() { return ReadBytes(BackupPath()); }

    HWND Button(int id) const { return GetDlgItem(main, id); }
    bool MainShown() const { return IsWindowVisible(main) && !IsIconic(main); }

    void AddWebsite(const std::string& site) {
        Click(Button(kIdAddWebsiteButton));
        HWND box = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (box = FindTopWindow(program.id(), kInputBoxClassName)); }))
            << "the input box did not open";
        HWND field = GetDlgItem(box, kInputBoxEditId);
        Type(field, site);
        ASSERT_TRUE(WaitFor([&] { return TextOf(field) == site; }));
        Click(GetDlgItem(box, IDOK));
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); })) << "the input box did not close";
    }

    // The shell's callback on the tray control's window, as a left button's release.
    HWND ClickTrayIcon() {
        HWND tray = FindChild(main, kTrayControlClassName);
        EXPECT_NE(tray, nullptr) << "the tray control's window";
        PostMessageA(tray, kTrayCallbackMessage, kTrayIconId, WM_LBUTTONUP);
        HWND window = nullptr;
        EXPECT_TRUE(WaitFor([&] {
            window = FindTopWindow(program.id(), kPasswordWindowClassName, kPasswordWindowCaption);
            return window != nullptr && IsWindowVisible(window);
        })) << "the password window did not open";
        return window;
    }

    // Types the password into the password window and presses OK; answers the refusal, if any,
    // and returns its text ("" when the password was accepted).
    std::string EnterPassword(HWND window, const std::string& typed) {
        HWND field = GetDlgItem(window, kIdPasswordWindowField);
        Type(field, typed);
        EXPECT_TRUE(WaitFor([&] { return TextOf(field) == typed; })) << TextOf(field);
        Click(GetDlgItem(window, kIdPasswordOkButton));
        HWND box = nullptr;
        bool settled = WaitFor([&] {
            box = FindTopWindow(program.id(), "#32770", ApplicationTitle());
            return box != nullptr || !IsWindow(window);
        });
        EXPECT_TRUE(settled);
        if (box == nullptr) return "";
        std::string text;
        HWND child = nullptr;
        while ((child = FindWindowExA(box, child, "Static", nullptr)) != nullptr)
            if (!TextOf(child).empty()) text = TextOf(child);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));
        return text;
    }

    std::vector<std::string> StoredList() { return DecodeWebsiteList(settings.Get(kKeyBlockedWebsites)); }

    static constexpr char kCleanHosts[] =
        "# hosts of the test tree\r\n127.0.0.1       localhost\r\n::1 localhost";
    std::string shots;
    bool secondCopyMadeAWindow = false;
};

TEST_F(TypicalUse, BlockHideUnlockStopCloseThenResume) {
    // ---- first run: the default list, plus one website added through the input box -----------
    ASSERT_NE(StartProgram(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return MainShown(); }));
    EXPECT_EQ(TextOf(main), "Parvalisk");
    EXPECT_EQ(TextOf(Button(kIdStartStopButton)), kStartBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts) << "starting the program changes nothing";
    EXPECT_TRUE(WaitFor([&] { return TrayIconsShown() == 1; })) << "the start puts the icon in the tray";
    ASSERT_NO_FATAL_FAILURE(AddWebsite(kAddedSite));

    // The password, typed into the main window's field: stored at once, hashed.
    HWND mainField = GetDlgItem(main, kIdPasswordField);
    Type(mainField, kPassword);
    ASSERT_TRUE(WaitFor([&] { return PasswordMatches(kPassword, settings.Get(kKeyPassword)); }))
        << settings.Get(kKeyPassword);
    EXPECT_TRUE(IsPasswordHash(settings.Get(kKeyPassword)));
    EXPECT_EQ(settings.Get(kKeyPassword).find("Kite"), std::string::npos);

    EXPECT_TRUE(SaveScreenshot(main, shots + "e2e-main-window.bmp"));

    // ---- Start Blocking: hosts file written, window hidden, tray icon there --------------------
    Click(Button(kIdStartStopButton));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); })) << "the window did not hide in the tray";
    std::vector<std::string> entries = StoredList();
    ASSERT_EQ(entries.size(), 5u) << "the four sample sites and the added one";
    EXPECT_EQ(entries.back(), kAddedSite);
    EXPECT_EQ(ReadBytes(hostsPath), BlockedHosts(kCleanHosts, entries));
    EXPECT_EQ(Backup(), kCleanHosts) << "the backup";
    EXPECT_EQ(TextOf(Button(kIdStartStopButton)), kStopBlockingCaption);
    EXPECT_EQ(TrayIconsShown(), 1) << "the icon stays to bring the window back";

    // ---- the tray icon: the password window; a wrong password, then the right one ----------
    HWND passwordWindow = ClickTrayIcon();
    ASSERT_NE(passwordWindow, nullptr);
    EXPECT_EQ(GetWindow(passwordWindow, GW_OWNER), nullptr);
    EXPECT_TRUE(SaveScreenshot(passwordWindow, shots + "e2e-password-window.bmp"));
    EXPECT_EQ(EnterPassword(passwordWindow, "blue kite"), kInvalidPasswordMessage);
    EXPECT_TRUE(IsWindow(passwordWindow)) << "the window stays open after a refusal";
    EXPECT_FALSE(IsWindowVisible(main));
    // The refused text is selected, so the right one replaces it.
    EXPECT_EQ(EnterPassword(passwordWindow, std::string("  ") + kPassword), "") << "padded entry accepted";
    ASSERT_TRUE(WaitFor([&] { return MainShown(); })) << "the right password shows the main window";
    EXPECT_FALSE(IsWindow(passwordWindow));
    EXPECT_TRUE(WaitFor([&] { return TrayIconsShown() == 0; })) << "and removes the tray icon";

    // ---- Stop Blocking: the clean hosts file back, byte for byte --------------------------------
    Click(Button(kIdStartStopButton));
    ASSERT_TRUE(WaitFor([&] { return TextOf(Button(kIdStartStopButton)) == kStartBlockingCaption; }));
    EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts);
    EXPECT_FALSE(FileExists(BackupPath())) << "the backup is gone";

    // ---- close: settings stored -----------------------------------------------------------------
    ASSERT_NO_FATAL_FAILURE(CloseProgram());
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "0");
    EXPECT_EQ(StoredList(), entries);
    EXPECT_TRUE(PasswordMatches(kPassword, settings.Get(kKeyPassword)));
    EXPECT_EQ(TrayIconsShown(), 0) << "no icon outlives the program";

    // ---- second run: a list stored by hand, in the settings' own form, is the one it blocks; start
    // blocking and close while it is on
    ASSERT_TRUE(program_run::StoreProgramSetting(
        "Blocked Websites", "blocked.example||My_Separator||second.example||My_Separator||"));
    entries = {"blocked.example", "second.example"};
    ASSERT_NE(StartProgram(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return MainShown(); }));
    EXPECT_EQ(TextOf(GetDlgItem(main, kIdPasswordField)), "") << "the field starts empty";
    Click(Button(kIdStartStopButton));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }));
    const std::string blockedOnce = BlockedHosts(kCleanHosts, entries);
    EXPECT_EQ(ReadBytes(hostsPath), blockedOnce);
    ASSERT_NO_FATAL_FAILURE(CloseProgram());
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "1");
    EXPECT_EQ(settings.Get(kKeyMinimized), "On");
    EXPECT_EQ(ReadBytes(hostsPath), blockedOnce) << "closing never lifts the block";

    // ---- third run: the block resumes, hidden in the tray; the password brings it back ----------
    ASSERT_NE(StartProgram(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); })) << "started hidden in the tray";
    EXPECT_TRUE(WaitFor([&] { return TrayIconsShown() == 1; }));
    EXPECT_EQ(TextOf(Button(kIdStartStopButton)), kStopBlockingCaption);
    passwordWindow = ClickTrayIcon();
    ASSERT_NE(passwordWindow, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(passwordWindow, kIdPasswordWindowField)), "");
    EXPECT_EQ(EnterPassword(passwordWindow, kPassword), "");
    ASSERT_TRUE(WaitFor([&] { return MainShown(); }));
    EXPECT_EQ(ReadBytes(hostsPath), blockedOnce) << "resumed: the block in place is not written again";
    Click(Button(kIdStartStopButton));
    ASSERT_TRUE(WaitFor([&] { return TextOf(Button(kIdStartStopButton)) == kStartBlockingCaption; }));
    EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts) << "the stop restores the clean file";
    ASSERT_NO_FATAL_FAILURE(CloseProgram());
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "0");
}

}  // namespace

namespace {

// A child's program works on the blocking copy hidden in the tray: it clicks Start/Stop, sends
// the window the command of that button and of the list-file button, presses space on the button,
// shows and restores the window, puts a password of its own into the password field and fakes
// the end of the session. Nothing of it gets past the password: the block, its clean copy, the
// stored password and the tray icon stay, and the window stays hidden. The end of the session
// stores what the close stores before it answers; the program then runs on and still guards
// its block.
TEST_F(TypicalUse, AnotherProgramCannotReachPastTheLockedWindow) {
    ASSERT_NE(StartProgram(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return MainShown(); }));
    Type(GetDlgItem(main, kIdPasswordField), kPassword);
    ASSERT_TRUE(WaitFor([&] { return PasswordMatches(kPassword, settings.Get(kKeyPassword)); }));
    const std::string storedPassword = settings.Get(kKeyPassword);
    Click(Button(kIdStartStopButton));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }));
    std::vector<std::string> entries = StoredList();
    const std::string blocked = BlockedHosts(kCleanHosts, entries);
    ASSERT_EQ(ReadBytes(hostsPath), blocked);
    ASSERT_TRUE(WaitFor([&] { return TrayIconsShown() == 1; }));

    HWND startStop = Button(kIdStartStopButton);
    Click(startStop);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(kIdStartStopButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(startStop));
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(kIdLoadFromFileButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Button(kIdLoadFromFileButton)));
    PostMessageA(startStop, WM_KEYDOWN, VK_SPACE, 0);
    PostMessageA(startStop, WM_KEYUP, VK_SPACE, 0xC0000001);
    ShowWindow(main, SW_SHOW);
    ShowWindowAsync(main, SW_RESTORE);
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(GetDlgItem(main, kIdPasswordField), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("child"),
                        SMTO_BLOCK, 5000, &answer);
    // Everything posted so far has been handled once a message sent after it is answered.
    ASSERT_TRUE(SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_BLOCK, 30000, &answer));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_FALSE(IsWindowVisible(main)) << "shown by another program";
    EXPECT_EQ(FindTopWindow(program.id(), "#32770"), nullptr) << "a dialog opened";
    EXPECT_EQ(TextOf(startStop), kStopBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), blocked) << "the block was lifted";
    EXPECT_EQ(Backup(), kCleanHosts) << "the clean copy was touched";
    EXPECT_EQ(settings.Get(kKeyPassword), storedPassword) << "the password was replaced";

    // A restore asks for the password instead.
    PostMessageA(main, WM_SYSCOMMAND, SC_RESTORE, 0);
    HWND passwordWindow = nullptr;
    EXPECT_TRUE(WaitFor([&] {
        passwordWindow = FindTopWindow(program.id(), kPasswordWindowClassName, kPasswordWindowCaption);
        return passwordWindow != nullptr && IsWindowVisible(passwordWindow);
    })) << "the restore did not ask for the password";
    EXPECT_FALSE(IsWindowVisible(main));
    if (passwordWindow != nullptr) Click(GetDlgItem(passwordWindow, kIdPasswordCancelButton));

    // The end of the session: answered at once, with everything the close stores already stored.
    // The list is taken away first, so that only the end of the session can have written it again.
    ASSERT_EQ(RegDeleteKeyValueA(HKEY_CURRENT_USER, program_run::kSettingsPath, kKeyBlockedWebsites),
              ERROR_SUCCESS);
    ASSERT_TRUE(
        SendMessageTimeoutA(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 30000, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "the program never holds up the end of the session";
    ASSERT_TRUE(
        SendMessageTimeoutA(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 30000, &answer));
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "1");
    EXPECT_EQ(settings.Get(kKeyMinimized), "On");
    EXPECT_EQ(StoredList(), entries);
    EXPECT_EQ(ReadBytes(hostsPath), blocked) << "the end of the session never lifts the block";

    // Faked, it leaves the program as it was: running, in the tray, and watching its block.
    EXPECT_EQ(WaitForSingleObject(program.handle(), 1000), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(TrayIconsShown(), 1) << "the tray icon was taken away";
    WriteBytes(hostsPath, kCleanHosts);
    EXPECT_TRUE(WaitFor([&] { return ReadBytes(hostsPath) == blocked; }, 5000)) << "the watch was stopped";

    // Guessing: a text longer than the field takes is a wrong try, answered at once; from the
    // third wrong try in a row OK waits, 1 s and then 2 s, and takes not even the right password.
    passwordWindow = ClickTrayIcon();
    ASSERT_NE(passwordWindow, nullptr);
    HWND field = GetDlgItem(passwordWindow, kIdPasswordWindowField);
    HWND ok = GetDlgItem(passwordWindow, kIdPasswordOkButton);
    const std::string huge(1000000, 'x');
    ASSERT_TRUE(SendMessageTimeoutA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(huge.c_str()), SMTO_BLOCK,
                                    5000, &answer));
    Click(ok);
    EXPECT_EQ(AnswerNotice(), kInvalidPasswordMessage) << "a million characters held the program up";
    EXPECT_EQ(EnterPassword(passwordWindow, "wrong"), kInvalidPasswordMessage);
    EXPECT_EQ(EnterPassword(passwordWindow, "wrong"), kInvalidPasswordMessage);
    EXPECT_FALSE(IsWindowEnabled(ok)) << "OK takes a fourth try at once";
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(ok) != FALSE; }, 5000));
    EXPECT_EQ(EnterPassword(passwordWindow, "wrong"), kInvalidPasswordMessage);
    SendMessageTimeoutA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kPassword), SMTO_BLOCK, 5000, &answer);
    Click(ok);
    PostMessageA(passwordWindow, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    ASSERT_TRUE(SendMessageTimeoutA(passwordWindow, WM_NULL, 0, 0, SMTO_BLOCK, 30000, &answer));
    EXPECT_FALSE(IsWindowVisible(main)) << "the right password was taken while OK waited";
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(ok) != FALSE; }, 5000));
    SendMessageTimeoutA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""), SMTO_BLOCK, 5000, &answer);

    // Only the parent's password brings the window back.
    passwordWindow = ClickTrayIcon();
    ASSERT_NE(passwordWindow, nullptr);
    EXPECT_EQ(EnterPassword(passwordWindow, kPassword), "");
    ASSERT_TRUE(WaitFor([&] { return MainShown(); }));
    EXPECT_TRUE(IsWindowEnabled(startStop));
    ASSERT_NO_FATAL_FAILURE(CloseProgram());
}

}  // namespace

namespace {

// A child who wants the block gone: holds the running copy's name, starts the program a second
// time, then ends the blocking copy from the Task Manager. The held name keeps no start from
// running; the second copy hands over and ends; the killed run's block resumes hidden behind the
// password.
TEST_F(TypicalUse, ASecondCopyHandsOverAndAKilledBlockResumesHidden) {
    // Another program holds the running copy's name: the start runs as the only copy, without
    // waiting for a copy that is not there.
    UniqueKernelHandle heldName(CreateMutexA(nullptr, TRUE, "Local\\Kelmarin.Parvalisk.Running"));
    ASSERT_TRUE(heldName);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_NE(StartProgram(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return MainShown(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8))
        << "the start waited for a copy that does not run";
    EXPECT_EQ(RunSecondCopy(), 0) << "the second copy ends at once";
    EXPECT_FALSE(secondCopyMadeAWindow);
    EXPECT_TRUE(MainShown());

    Click(Button(kIdStartStopButton));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }));
    const std::vector<std::string> entries = StoredList();
    const std::string blocked = BlockedHosts(kCleanHosts, entries);
    ASSERT_EQ(ReadBytes(hostsPath), blocked);
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "1") << "recorded as soon as the block is written";

    // Hidden in the tray, a second start opens the password window, never the main window.
    EXPECT_EQ(RunSecondCopy(), 0);
    EXPECT_FALSE(secondCopyMadeAWindow);
    EXPECT_TRUE(WaitFor([&] {
        HWND window = FindTopWindow(program.id(), kPasswordWindowClassName, kPasswordWindowCaption);
        return window != nullptr && IsWindowVisible(window);
    })) << "the running copy asks for the password";
    EXPECT_FALSE(IsWindowVisible(main));

    // Ended without its close: the next start resumes the block hidden in the tray.
    program.End();
    ASSERT_NE(StartProgram(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); })) << "started hidden behind the password";
    EXPECT_EQ(TextOf(Button(kIdStartStopButton)), kStopBlockingCaption);
    ASSERT_NO_FATAL_FAILURE(Unlock());
    EXPECT_EQ(ReadBytes(hostsPath), blocked) << "the block in place is not written again";
    Click(Button(kIdStartStopButton));
    ASSERT_TRUE(WaitFor([&] { return TextOf(Button(kIdStartStopButton)) == kStartBlockingCaption; }));
    EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts);
    ASSERT_NO_FATAL_FAILURE(CloseProgram());
}

// The hosts files a start can block, a stop can put back: a hidden one stays hidden, a missing
// one comes back empty; a stop the hosts file refuses leaves the block on with its clean copy.
TEST_F(TypicalUse, HiddenOrMissingHostsComeBackAndARefusedRestoreKeepsTheBlock) {
    ASSERT_NE(StartProgram(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return MainShown(); }));
    const std::vector<std::string> entries = DecodeWebsiteList(EncodeWebsiteList(
        std::vector<std::string>{"www.facebook.com", "www.instagram.com", "www.youtube.com", "x.com"}));
    auto startThenStop = [&](const std::string& clean) {
        Click(Button(kIdStartStopButton));
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }));
        EXPECT_EQ(ReadBytes(hostsPath), BlockedHosts(clean, StoredList()));
        ASSERT_NO_FATAL_FAILURE(Unlock());
        Click(Button(kIdStartStopButton));
        ASSERT_TRUE(WaitFor([&] { return TextOf(Button(kIdStartStopButton)) == kStartBlockingCaption; }));
    };

    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_NO_FATAL_FAILURE(startThenStop(kCleanHosts));
    EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts) << "byte for byte";
    EXPECT_NE(GetFileAttributesA(hostsPath.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u) << "and still hidden";
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);

    ASSERT_TRUE(DeleteFileA(hostsPath.c_str()));
    ASSERT_NO_FATAL_FAILURE(startThenStop(""));
    EXPECT_EQ(ReadBytes(hostsPath), "") << "an empty hosts file, without the block lines";
    EXPECT_EQ(Backup(), "<missing>");

    WriteBytes(hostsPath, kCleanHosts);
    Click(Button(kIdStartStopButton));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }));
    const std::string blocked = ReadBytes(hostsPath);
    ASSERT_NO_FATAL_FAILURE(Unlock());
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY);
    Click(Button(kIdStartStopButton));
    EXPECT_EQ(AnswerNotice(), kCouldNotRestoreSettings);
    EXPECT_EQ(TextOf(Button(kIdStartStopButton)), kStopBlockingCaption) << "the sites are still blocked";
    EXPECT_EQ(ReadBytes(hostsPath), blocked);
    EXPECT_EQ(Backup(), kCleanHosts) << "the clean copy stays";
    ASSERT_NO_FATAL_FAILURE(CloseProgram());
    EXPECT_EQ(settings.Get(kKeyBlockOnStart), "1") << "the close records the block";
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

namespace {

// Another program resets the hosts file while blocking is on (as a security tool does when it
// meets lines it considers a hijack): the running program puts the block back by itself.
TEST_F(TypicalUse, ABlockResetFromOutsideComesBack) {
    ASSERT_NE(StartProgram(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return MainShown(); }));
    Click(Button(kIdStartStopButton));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }));
    const std::string blocked = BlockedHosts(kCleanHosts, StoredList());
    ASSERT_EQ(ReadBytes(hostsPath), blocked);

    WriteBytes(hostsPath, kCleanHosts);
    EXPECT_TRUE(WaitFor([&] { return ReadBytes(hostsPath) == blocked; }, 5000))
        << "the block did not come back";
    EXPECT_EQ(Backup(), kCleanHosts);

    ASSERT_NO_FATAL_FAILURE(Unlock());
    Click(Button(kIdStartStopButton));
    ASSERT_TRUE(WaitFor([&] { return TextOf(Button(kIdStartStopButton)) == kStartBlockingCaption; }));
    EXPECT_EQ(ReadBytes(hostsPath), kCleanHosts) << "the stop leaves the clean file";
    ASSERT_NO_FATAL_FAILURE(CloseProgram());
}

}  // namespace
