#include <gtest/gtest.h>

#include <memory>

#include "MainWindow.h"
#include "PasswordHash.h"
#include "PasswordWindow.h"
#include "SettingsStore.h"
#include "Handles.h"
#include "TrayIcon.h"
#include "support/ScriptedPrompts.h"
#include "support/TempTree.h"
#include "Appearance.h"
#include "MessagePump.h"

namespace {

const char kOkLocation[] = "in Nestwarden2021/08/31.Form2.PushButton2_Click ";
const char kLoadLocation[] = "in Nestwarden2021/08/31.Form2.Form_Load ";

int Dpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

int Px(int twips) {
    return MulDiv(twips, Dpi(), 1440);
}

RECT ClientRectOf(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LOGFONTA FontOf(HWND window) {
    LOGFONTA font{};
    HFONT handle = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    EXPECT_NE(handle, nullptr);
    if (handle != nullptr) GetObjectA(handle, sizeof font, &font);
    return font;
}

std::string Text(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The main window loaded as the program loads it, hidden in the tray by a minimise, with its
// password window reachable through the tray icon's handler.
class PasswordWindowTest : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        form = std::make_unique<MainWindow>(Parts());
        form->Load();
        ProcessPendingEvents();
        prompts.boxes.clear();
    }
    void TearDown() override {
        form.reset();
        ProcessPendingEvents();
        TempTree::TearDown();
    }

    void HideInTray() {
        // The shell's word that the balloon went, waiting in the queue, ends the balloon's wait.
        PostMessageA(form->trayIcon_.Window(), kTrayCallbackMessage, kTrayIconId, NIN_BALLOONTIMEOUT);
        ShowWindow(form->hwnd(), SW_MINIMIZE);
        ProcessPendingEvents();
        ASSERT_TRUE(form->state_.hiddenInTray);
        ASSERT_FALSE(IsWindowVisible(form->hwnd()));
    }
    PasswordWindow& OpenPasswordWindow() {
        form->OnTrayIconClicked();
        ProcessPendingEvents();
        EXPECT_TRUE(form->passwordWindow_ && form->passwordWindow_->Loaded());
        return *form->passwordWindow_;
    }
    // Types into the main window's field, one character at a time, as the keyboard does.
    void TypeIntoMainField(const std::string& text) {
        for (char c : text)
            SendMessageA(form->passwordField_.hwnd, WM_CHAR, static_cast<unsigned char>(c), 1);
    }
    void ClickOk(PasswordWindow& window) { SendMessageA(window.okButton_.hwnd, BM_CLICK, 0, 0); }

    std::unique_ptr<MainWindow> form;
};

TEST_F(PasswordWindowTest, LayoutCaptionFontsAndTabOrder) {
    PasswordWindow& window = OpenPasswordWindow();
    EXPECT_EQ(Text(window.hwnd()), "Enter Password");
    EXPECT_EQ(GetWindow(window.hwnd(), GW_OWNER), nullptr) << "the window has no owner";
    EXPECT_EQ(GetParent(window.hwnd()), nullptr);
    EXPECT_TRUE(IsWindowEnabled(form->hwnd())) << "the window is not modal";

    RECT client;
    GetClientRect(window.hwnd(), &client);
    EXPECT_EQ(client.right, Px(8040));
    EXPECT_EQ(client.bottom, Px(1590));

    const struct {
        HWND control;
        const char* caption;
        int left, top, width, height;
        int fontHundredths;
    } rows[] = {
        {window.frame_.hwnd, "Password", 120, 120, 7800, 820, 900},
        {window.passwordField_.hwnd, "", 120 + 240, 120 + 300, 7320, 345, 900},
        {window.okButton_.hwnd, "OK", 120, 1060, 3840, 405, 1125},
        {window.cancelButton_.hwnd, "Cancel", 4080, 1060, 3840, 405, 1125},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caption);
        RECT r = ClientRectOf(row.control);
        EXPECT_EQ(r.left, Px(row.left));
        EXPECT_EQ(r.top, Px(row.top));
        EXPECT_EQ(r.right - r.left, Px(row.width));
        EXPECT_EQ(r.bottom - r.top, Px(row.height));
        EXPECT_EQ(Text(row.control), row.caption);
        LOGFONTA font = FontOf(row.control);
        EXPECT_STREQ(font.lfFaceName, "Arial");
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        EXPECT_EQ(font.lfHeight, -MulDiv(row.fontHundredths, Dpi(), 7200));
    }
    EXPECT_EQ(SendMessageA(window.passwordField_.hwnd, EM_GETPASSWORDCHAR, 0, 0), '*');
    EXPECT_TRUE(GetWindowLongA(window.passwordField_.hwnd, GWL_STYLE) & ES_PASSWORD);
    for (HWND field : {window.passwordField_.hwnd, form->passwordField_.hwnd})
        EXPECT_EQ(SendMessageA(field, EM_GETLIMITTEXT, 0, 0), 256)
            << "both password fields take 256 characters";

    EXPECT_EQ(GetFocus(), window.passwordField_.hwnd) << "the field takes the keys at opening";
    EXPECT_EQ(GetNextDlgTabItem(window.hwnd(), window.passwordField_.hwnd, FALSE), window.okButton_.hwnd);
    EXPECT_EQ(GetNextDlgTabItem(window.hwnd(), window.okButton_.hwnd, FALSE), window.cancelButton_.hwnd);
    EXPECT_EQ(GetNextDlgTabItem(window.hwnd(), window.cancelButton_.hwnd, FALSE), window.passwordField_.hwnd);
}

TEST_F(PasswordWindowTest, ButtonFaceColoursAndProgramIcon) {
    PasswordWindow& window = OpenPasswordWindow();
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(GetClassLongPtrA(window.hwnd(), GCLP_HBRBACKGROUND), static_cast<LONG_PTR>(COLOR_BTNFACE + 1))
        << "the window's background is the button face";
    EXPECT_EQ(window.frame_.BackColor(), face);

    // The frame is drawn on the button face through the colour message.
    HDC dc = GetDC(window.hwnd());
    LRESULT brush = SendMessageA(window.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(window.frame_.hwnd));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), window.frame_.BackBrush());
    EXPECT_EQ(GetBkColor(dc), face);
    ReleaseDC(window.hwnd(), dc);

    // What the screen shows inside the frame, between its edge and the field, is the button face.
    UpdateWindow(window.hwnd());
    RECT frame = ClientRectOf(window.frame_.hwnd);
    HDC windowDc = GetDC(window.hwnd());
    EXPECT_EQ(GetPixel(windowDc, frame.left + Px(120), frame.top + Px(250)), face);
    ReleaseDC(window.hwnd(), windowDc);

    EXPECT_NE(SendMessageA(window.hwnd(), WM_GETICON, ICON_BIG, 0), 0)
        << "the window carries the program icon";
    EXPECT_NE(SendMessageA(window.hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_TRUE(prompts.boxes.empty());
}

// A 32 x 32 monochrome cursor file with its hot spot at (5, 0).
std::string CursorFileBytes() {
    std::string bytes;
    auto word = [&](unsigned v) { bytes += static_cast<char>(v & 0xFF), bytes += static_cast<char>(v >> 8); };
    auto dword = [&](unsigned v) { word(v & 0xFFFF), word(v >> 16); };
    word(0), word(2), word(1);                                       // header: a cursor, one image
    bytes += static_cast<char>(32), bytes += static_cast<char>(32);  // entry: 32 x 32
    bytes += static_cast<char>(2), bytes += static_cast<char>(0);
    word(5), word(0);  // hot spot
    dword(40 + 8 + 128 + 128), dword(22);
    dword(40), dword(32), dword(64), word(1), word(1), dword(0), dword(256), dword(0), dword(0), dword(0),
        dword(0);                       // bitmap header
    dword(0x000000), dword(0xFFFFFF);   // palette
    bytes += std::string(128, '\x55');  // image
    bytes += std::string(128, '\0');    // mask
    return bytes;
}

TEST_F(PasswordWindowTest, HandPointerFromTheProgramFolder) {
    const std::string pointerPath = ProgramFolder() + "\\HAND-M.CUR";
    ASSERT_EQ(GetFileAttributesA(pointerPath.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the test folder must not hold a pointer file of its own";
    ScopeExit removePointer([&] { DeleteFileA(pointerPath.c_str()); });
    const struct {
        const char* name;
        bool present;
        std::string bytes;
        bool loaded;
        bool reported;
    } rows[] = {
        {"no file", false, "", false, false},
        {"a cursor file", true, CursorFileBytes(), true, false},
        {"a damaged file", true, "not a cursor at all", false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.present)
            WriteBytes(pointerPath, row.bytes);
        else
            DeleteFileA(pointerPath.c_str());
        prompts.boxes.clear();
        if (form->passwordWindow_) form->passwordWindow_->Unload();
        form->passwordWindow_.reset();
        PasswordWindow& window = OpenPasswordWindow();
        EXPECT_EQ(window.handPointer_ != nullptr, row.loaded);
        bool reported = false;
        for (const RecordedBox& box : prompts.boxes)
            reported =
                reported || box.text.find(std::string(kLoadLocation) + "at line 106") != std::string::npos;
        EXPECT_EQ(reported, row.reported);
        EXPECT_TRUE(window.Loaded()) << "the window opens whatever the pointer file holds";
    }
}

TEST_F(PasswordWindowTest, PointerRuleHandOverButtonsDefaultElsewhere) {
    PasswordWindow& window = OpenPasswordWindow();
    auto hover = [&](HWND over) {
        SendMessageA(window.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(over),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    };
    const struct {
        Pointer before;
        HWND over;
        Pointer after;
    } rows[] = {
        {Pointer::Default, window.okButton_.hwnd, Pointer::Hand},
        {Pointer::Default, window.cancelButton_.hwnd, Pointer::Hand},
        {Pointer::Hand, window.hwnd(), Pointer::Default},
        {Pointer::Hand, window.frame_.hwnd, Pointer::Default},
        {Pointer::Hand, window.passwordField_.hwnd, Pointer::Hand},  // the field is not named by the rule
        {Pointer::Busy, window.okButton_.hwnd, Pointer::Busy},       // nothing changes under the hourglass
        {Pointer::Busy, window.hwnd(), Pointer::Busy},
    };
    for (const auto& row : rows) {
        window.pointer_ = row.before;
        hover(row.over);
        EXPECT_EQ(window.pointer_, row.after) << "from " << static_cast<int>(row.before);
    }
}

TEST_F(PasswordWindowTest, OkAcceptsOrRefuses) {
    // Texts of the longest length a field takes, and one longer (set past the keyboard's limit).
    const std::string longest(256, 'k'), tooLong(257, 'k');
    // Stored: what the main window's field held at its last change (hashed), or a plain value
    // left by an earlier version; never stored at all when null.
    const struct {
        const char* name;
        const char* typedIntoMainField;  // null: nothing typed
        const char* plainStored;         // null: nothing stored in plain text
        const char* typed;
        bool accepted;
    } rows[] = {
        {"no password ever stored, empty entry", nullptr, nullptr, "", true},
        {"no password, blanks only", nullptr, nullptr, "   ", true},
        {"right password", "Tiger7", nullptr, "Tiger7", true},
        {"case differs", "Tiger7", nullptr, "tiger7", false},
        {"blanks around the typed text", "Tiger7", nullptr, "  Tiger7 ", true},
        {"empty entry against a password", "Tiger7", nullptr, "", false},
        {"stored password with a leading blank, typed exactly", " Tiger7", nullptr, " Tiger7", true},
        {"stored password with a trailing blank, typed exactly", "Tiger7 ", nullptr, "Tiger7 ", true},
        {"stored password with a leading blank, typed without", " Tiger7", nullptr, "Tiger7", false},
        {"plain text from an earlier version", nullptr, "OldSecret", "OldSecret", true},
        {"plain text, wrong", nullptr, "OldSecret", "oldsecret", false},
        {"plain text, padded entry", nullptr, "OldSecret", " OldSecret ", true},
        {"the longest entry a field takes", nullptr, longest.c_str(), longest.c_str(), true},
        {"an entry longer than a field takes is refused unchecked", nullptr, tooLong.c_str(), tooLong.c_str(),
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RegDeleteTreeA(HKEY_CURRENT_USER, settingsKey.c_str());
        if (row.typedIntoMainField != nullptr) {
            SetWindowTextA(form->passwordField_.hwnd, "");
            TypeIntoMainField(row.typedIntoMainField);
        }
        if (row.plainStored != nullptr) settings.Save(kKeyPassword, row.plainStored);
        HideInTray();
        PasswordWindow& window = OpenPasswordWindow();
        prompts.boxes.clear();
        SetWindowTextA(window.passwordField_.hwnd, row.typed);
        ClickOk(window);
        ProcessPendingEvents();

        if (row.accepted) {
            EXPECT_TRUE(prompts.boxes.empty());
            EXPECT_TRUE(IsWindowVisible(form->hwnd())) << "the main window is shown";
            EXPECT_FALSE(IsIconic(form->hwnd())) << "in its normal state";
            EXPECT_FALSE(form->state_.hiddenInTray);
            EXPECT_FALSE(form->trayIcon_.InTray()) << "the tray icon is removed";
            EXPECT_FALSE(window.Loaded()) << "the password window is unloaded";
        } else {
            ASSERT_EQ(prompts.boxes.size(), 1u);
            EXPECT_EQ(prompts.boxes[0].text, "Invalid password entered.");
            EXPECT_EQ(prompts.boxes[0].title, ApplicationTitle());
            EXPECT_EQ(prompts.boxes[0].style, static_cast<unsigned>(MB_OK));
            EXPECT_TRUE(window.Loaded()) << "the window stays open";
            EXPECT_FALSE(IsWindowVisible(form->hwnd()));
            EXPECT_TRUE(form->state_.hiddenInTray);
            EXPECT_TRUE(form->trayIcon_.InTray());
            EXPECT_EQ(GetFocus(), window.passwordField_.hwnd);
            DWORD start = 1, end = 0;
            SendMessageA(window.passwordField_.hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                         reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(start, 0u);
            EXPECT_EQ(end, std::string(row.typed).size()) << "the whole typed text is selected";
            window.Unload();
            SetWindowTextA(form->passwordField_.hwnd, "");  // the next row starts unprotected
            ShowWindow(form->hwnd(), SW_RESTORE);
            form->state_.hiddenInTray = false;
        }
    }
}

TEST_F(PasswordWindowTest, WrongTriesInARowMakeOkWait) {
    const struct {
        int wrongTriesInARow;
        DWORD waitMs;
    } waits[] = {{1, 0}, {2, 0}, {3, 1000}, {4, 2000}, {5, 4000}, {7, 16000}, {8, 30000}, {1000, 30000}};
    for (const auto& row : waits)
        EXPECT_EQ(OkWaitAfterWrongTries(row.wrongTriesInARow), row.waitMs)
            << row.wrongTriesInARow << " tries";

    TypeIntoMainField("Lynx");
    HideInTray();
    PasswordWindow* window = &OpenPasswordWindow();
    auto okEnabled = [&] { return IsWindowEnabled(window->okButton_.hwnd) != FALSE; };
    auto tryText = [&](const char* text) {
        SetWindowTextA(window->passwordField_.hwnd, text);
        ClickOk(*window);
        ProcessPendingEvents();
    };
    // Lets the window's timer run until OK is enabled again; the milliseconds since `since`.
    auto waitForOk = [&](ULONGLONG since) -> ULONGLONG {
        int exitCode = 0;
        while (!okEnabled() && GetTickCount64() - since < 5000) WaitForEvents(20, exitCode);
        return GetTickCount64() - since;
    };

    tryText("lynx");
    tryText("Lnyx");
    EXPECT_TRUE(okEnabled()) << "two wrong tries in a row cost no wait";
    tryText("Lyn");
    const ULONGLONG third = GetTickCount64();
    EXPECT_EQ(prompts.boxes.size(), 3u);
    EXPECT_FALSE(okEnabled()) << "the third wrong try in a row makes OK wait";

    // The right password, sent every way that reaches OK, is not even checked while OK waits.
    SetWindowTextA(window->passwordField_.hwnd, "Lynx");
    PostMessageA(window->passwordField_.hwnd, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(window->hwnd(), WM_COMMAND, IDOK, 0);
    PostMessageA(window->okButton_.hwnd, BM_CLICK, 0, 0);
    ProcessPendingEvents();
    EXPECT_FALSE(IsWindowVisible(form->hwnd())) << "nothing unlocks while OK waits";
    EXPECT_TRUE(window->Loaded());
    EXPECT_EQ(prompts.boxes.size(), 3u) << "nothing is answered while OK waits";

    ULONGLONG waited = waitForOk(third);
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 1900u) << "the first wait is a second";

    tryText("lynx");
    const ULONGLONG fourth = GetTickCount64();
    EXPECT_FALSE(okEnabled());
    // Closing and opening the window again neither forgets the tries nor ends the wait.
    SendMessageA(window->cancelButton_.hwnd, BM_CLICK, 0, 0);
    ProcessPendingEvents();
    window = &OpenPasswordWindow();
    EXPECT_FALSE(okEnabled()) << "the wait goes on in the window opened again";
    waited = waitForOk(fourth);
    EXPECT_GE(waited, 1900u);
    EXPECT_LT(waited, 3900u) << "the fourth wrong try in a row doubles the wait";

    // Once OK waits no more, Enter in the field is OK again; the right password ends the count.
    SetWindowTextA(window->passwordField_.hwnd, "Lynx");
    PostMessageA(window->passwordField_.hwnd, WM_KEYDOWN, VK_RETURN, 1);
    ProcessPendingEvents();
    EXPECT_TRUE(IsWindowVisible(form->hwnd())) << "Enter checks the password once OK takes tries again";
    HideInTray();
    window = &OpenPasswordWindow();
    tryText("lynx");
    tryText("lynx");
    EXPECT_TRUE(okEnabled()) << "the right password begins the count anew";
    EXPECT_EQ(prompts.boxes.size(), 6u);
}

TEST_F(PasswordWindowTest, WrongEntryIsReplacedByTheNextKey) {
    TypeIntoMainField("Lion");
    HideInTray();
    PasswordWindow& window = OpenPasswordWindow();
    SetWindowTextA(window.passwordField_.hwnd, "Lino");
    ClickOk(window);
    SendMessageA(window.passwordField_.hwnd, WM_CHAR, 'L', 1);
    EXPECT_EQ(Text(window.passwordField_.hwnd), "L")
        << "the selected wrong entry is replaced, not appended to";
    for (char c : std::string("ion")) SendMessageA(window.passwordField_.hwnd, WM_CHAR, c, 1);
    ClickOk(window);
    EXPECT_TRUE(IsWindowVisible(form->hwnd()));
    EXPECT_EQ(prompts.boxes.size(), 1u);
}

TEST_F(PasswordWindowTest, CancelAndCloseBoxLeaveTheProgramHidden) {
    TypeIntoMainField("Owl");
    HideInTray();
    for (const char* how : {"Cancel", "close box", "Escape"}) {
        SCOPED_TRACE(how);
        PasswordWindow& window = OpenPasswordWindow();
        EXPECT_EQ(Text(window.passwordField_.hwnd), "") << "each opening starts with an empty field";
        SetWindowTextA(window.passwordField_.hwnd, "Ow");
        if (std::string(how) == "Cancel")
            SendMessageA(window.cancelButton_.hwnd, BM_CLICK, 0, 0);
        else if (std::string(how) == "close box")
            SendMessageA(window.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            SendMessageA(window.hwnd(), WM_COMMAND, IDCANCEL, 0);
        ProcessPendingEvents();
        EXPECT_FALSE(window.Loaded());
        EXPECT_FALSE(IsWindowVisible(form->hwnd()));
        EXPECT_TRUE(form->state_.hiddenInTray);
        EXPECT_TRUE(form->trayIcon_.InTray());
    }
    EXPECT_TRUE(prompts.boxes.empty());
}

BOOL CALLBACK CountPasswordWindows(HWND window, LPARAM counter) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == kPasswordWindowClassName) ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

TEST_F(PasswordWindowTest, SecondTrayClickShowsTheSameWindowAgain) {
    HideInTray();
    PasswordWindow& window = OpenPasswordWindow();
    HWND first = window.hwnd();
    SetWindowTextA(window.passwordField_.hwnd, "half typ");
    ShowWindow(first, SW_MINIMIZE);
    form->OnTrayIconClicked();  // a right click does the same
    ProcessPendingEvents();
    EXPECT_EQ(form->passwordWindow_->hwnd(), first) << "no second password window";
    EXPECT_TRUE(IsWindowVisible(first));
    EXPECT_FALSE(IsIconic(first)) << "shown again";
    EXPECT_EQ(Text(window.passwordField_.hwnd), "half typ") << "shown again, not opened anew";

    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountPasswordWindows, reinterpret_cast<LPARAM>(&count));
    EXPECT_EQ(count, 1);
}

TEST_F(PasswordWindowTest, AcceptedWhileMainWindowShownRemovesTheIcon) {
    form->trayIcon_.SetInTray(true);
    ASSERT_TRUE(IsWindowVisible(form->hwnd()));
    PasswordWindow& window = OpenPasswordWindow();
    ClickOk(window);
    EXPECT_TRUE(IsWindowVisible(form->hwnd()));
    EXPECT_FALSE(form->trayIcon_.InTray());
    EXPECT_FALSE(form->state_.hiddenInTray);
    EXPECT_FALSE(window.Loaded());
}

TEST_F(PasswordWindowTest, FailedCheckReportsAndStaysLocked) {
    // A check that fails never unlocks: the report names line 100, and the program stays hidden
    // behind the open password window with its tray icon. A stored password that is not text
    // (a number or binary value put there by hand) is such a failure, not an empty password.
    const struct {
        const char* name;
        bool unreadableStore;
        DWORD type;  // of the value put under "Password" by hand, REG_NONE for none
        std::string bytes;
        const char* typed;
    } rows[] = {
        {"the store cannot be read", true, REG_NONE, "", "wrong"},
        {"a number where the password should be", false, REG_DWORD, std::string(4, '\0'), ""},
        {"binary data where the password should be", false, REG_BINARY, "Bear", ""},
    };
    TypeIntoMainField("Bear");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.type != REG_NONE) {
            HKEY section = nullptr;
            ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (settingsKey + "\\Kelmarin\\Parvalisk").c_str(), 0,
                                      nullptr, 0, KEY_SET_VALUE, nullptr, &section, nullptr),
                      ERROR_SUCCESS);
            RegSetValueExA(section, kKeyPassword, 0, row.type,
                           reinterpret_cast<const BYTE*>(row.bytes.data()),
                           static_cast<DWORD>(row.bytes.size()));
            RegCloseKey(section);
        }
        if (!form->state_.hiddenInTray) HideInTray();
        PasswordWindow& window = OpenPasswordWindow();
        prompts.boxes.clear();
        SetWindowTextA(window.passwordField_.hwnd, row.typed);
        if (row.unreadableStore)
            settings = SettingsStore(reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x7777)), "nowhere");
        ClickOk(window);
        settings = SettingsStore(HKEY_CURRENT_USER, settingsKey);
        ProcessPendingEvents();

        ASSERT_EQ(prompts.boxes.size(), 1u);
        EXPECT_NE(prompts.boxes[0].text.find(std::string(kOkLocation) + "at line 100\r\r"), std::string::npos)
            << prompts.boxes[0].text;
        EXPECT_TRUE(window.Loaded()) << "the password window stays open";
        EXPECT_FALSE(IsWindowVisible(form->hwnd())) << "the main window stays hidden";
        EXPECT_TRUE(form->state_.hiddenInTray);
        EXPECT_TRUE(form->trayIcon_.InTray()) << "the tray icon stays";
    }
}

TEST_F(PasswordWindowTest, MainFieldStoresEveryChangeHashed) {
    EXPECT_EQ(Text(form->passwordField_.hwnd), "");
    std::string previous;
    for (std::string typed : {"P", "Pa", "Pa ", "Pa s"}) {
        SendMessageA(form->passwordField_.hwnd, WM_CHAR, static_cast<unsigned char>(typed.back()), 1);
        std::string stored = settings.Get(kKeyPassword, "<missing>");
        EXPECT_TRUE(IsPasswordHash(stored)) << stored;
        EXPECT_TRUE(PasswordMatches(typed, stored)) << "stored at every change: " << typed;
        EXPECT_NE(stored, previous);
        previous = stored;
    }
    // Deleting every character stores the empty value: no protection.
    for (int i = 0; i < 4; ++i) SendMessageA(form->passwordField_.hwnd, WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(settings.Get(kKeyPassword, "<missing>"), "");

    // A paste is a change like any other.
    SendMessageA(form->passwordField_.hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("Pasted in"));
    EXPECT_TRUE(PasswordMatches("Pasted in", settings.Get(kKeyPassword)));

    // A text longer than the field takes is cut to its length, and that is what is stored.
    const std::string huge(1000000, 'h');
    SendMessageA(form->passwordField_.hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(huge.c_str()));
    EXPECT_EQ(Text(form->passwordField_.hwnd), huge.substr(0, 256));
    EXPECT_TRUE(PasswordMatches(huge.substr(0, 256), settings.Get(kKeyPassword)));
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(PasswordWindowTest, FieldStartsEmptyAndStartKeepsTheStoredPassword) {
    TypeIntoMainField("Stays");
    std::string stored = settings.Get(kKeyPassword);
    form.reset();
    form = std::make_unique<MainWindow>(Parts());
    form->Load();
    ProcessPendingEvents();
    EXPECT_EQ(Text(form->passwordField_.hwnd), "") << "the stored password is never shown in the field";
    EXPECT_EQ(settings.Get(kKeyPassword), stored) << "a start does not change the password";
    HideInTray();
    PasswordWindow& window = OpenPasswordWindow();
    ClickOk(window);
    EXPECT_FALSE(IsWindowVisible(form->hwnd())) << "the untouched field still guards the tray";
}

TEST_F(PasswordWindowTest, RefusedStoreIsToldOnceThenRecovers) {
    // A settings root that is no key at all: the store refuses every write.
    settings = SettingsStore(reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x7777)), "nowhere");
    TypeIntoMainField("abc");
    settings = SettingsStore(HKEY_CURRENT_USER, settingsKey);
    ASSERT_EQ(prompts.boxes.size(), 1u) << "told once, not at every key";
    EXPECT_EQ(prompts.boxes[0].text.rfind("The password could not be stored.\r\n", 0), 0u)
        << prompts.boxes[0].text;
    EXPECT_EQ(prompts.boxes[0].title, ApplicationTitle());

    TypeIntoMainField("d");
    EXPECT_TRUE(PasswordMatches("abcd", settings.Get(kKeyPassword)));
    EXPECT_EQ(prompts.boxes.size(), 1u);
}

}  // namespace
