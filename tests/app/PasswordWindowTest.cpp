#include <gtest/gtest.h>

#include <utility>

#include "Failure.h"
#include "PasswordHash.h"
#include "support/StoredPassword.h"
#include "SettingsStore.h"
#include "Handles.h"
#include "support/MainWindowFixture.h"
#include "Appearance.h"
#include "UserTexts.h"

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

// The main window loaded as the program loads it, its password window reached through the
// tray icon.
class PasswordWindowTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        StartMainWindow();
        ProcessPendingEvents();
        prompts.boxes.clear();
    }
};

TEST_F(PasswordWindowTest, LayoutCaptionFontsAndTabOrder) {
    const PasswordWindow& window = OpenPasswordWindow();
    EXPECT_EQ(Text(window.hwnd()), kPasswordWindowCaption);
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
        {window.ControlById(kIdPasswordWindowFrame).hwnd, kPasswordFrameCaption, 120, 120, 7800, 820, 900},
        {FieldOf(window), "", 120 + 240, 120 + 300, 7320, 345, 900},
        {OkOf(window), kOkCaption, 120, 1060, 3840, 405, 1125},
        {CancelOf(window), kCancelCaption, 4080, 1060, 3840, 405, 1125},
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
    EXPECT_EQ(SendMessageA(FieldOf(window), EM_GETPASSWORDCHAR, 0, 0), '*');
    EXPECT_TRUE(GetWindowLongA(FieldOf(window), GWL_STYLE) & ES_PASSWORD);
    for (HWND field : {FieldOf(window), ControlWindow(kIdPasswordField)})
        EXPECT_EQ(SendMessageA(field, EM_GETLIMITTEXT, 0, 0), 256)
            << "both password fields take 256 characters";

    EXPECT_EQ(GetFocus(), FieldOf(window)) << "the field takes the keys at opening";
    EXPECT_EQ(GetNextDlgTabItem(window.hwnd(), FieldOf(window), FALSE), OkOf(window));
    EXPECT_EQ(GetNextDlgTabItem(window.hwnd(), OkOf(window), FALSE), CancelOf(window));
    EXPECT_EQ(GetNextDlgTabItem(window.hwnd(), CancelOf(window), FALSE), FieldOf(window));
}

TEST_F(PasswordWindowTest, ButtonFaceColoursAndProgramIcon) {
    const PasswordWindow& window = OpenPasswordWindow();
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(GetClassLongPtrA(window.hwnd(), GCLP_HBRBACKGROUND), static_cast<LONG_PTR>(COLOR_BTNFACE + 1))
        << "the window's background is the button face";
    EXPECT_EQ(window.ControlById(kIdPasswordWindowFrame).BackColor(), face);

    // The frame is drawn on the button face through the colour message.
    HDC dc = GetDC(window.hwnd());
    LRESULT brush = SendMessageA(window.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(window.ControlById(kIdPasswordWindowFrame).hwnd));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), window.ControlById(kIdPasswordWindowFrame).BackBrush());
    EXPECT_EQ(GetBkColor(dc), face);
    ReleaseDC(window.hwnd(), dc);

    // What the screen shows inside the frame, between its edge and the field, is the button face.
    UpdateWindow(window.hwnd());
    RECT frame = ClientRectOf(window.ControlById(kIdPasswordWindowFrame).hwnd);
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
        // A fresh program: the pointer is loaded with each password window.
        DropMainWindow();
        StartMainWindow();
        ProcessPendingEvents();
        const PasswordWindow& window = OpenPasswordWindow();
        EXPECT_EQ(window.HandPointer() != nullptr, row.loaded);
        bool reported = false;
        for (const RecordedBox& box : prompts.boxes)
            reported =
                reported || box.text.find(std::string(kLoadLocation) + "at line 106") != std::string::npos;
        EXPECT_EQ(reported, row.reported);
        EXPECT_TRUE(window.Loaded()) << "the window opens whatever the pointer file holds";
    }
}

TEST_F(PasswordWindowTest, PointerRuleHandOverButtonsDefaultElsewhere) {
    const PasswordWindow& window = OpenPasswordWindow();
    auto hover = [&](HWND over) {
        SendMessageA(window.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(over),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    };
    const struct {
        Pointer before;
        HWND over;
        Pointer after;
    } rows[] = {
        {Pointer::Default, OkOf(window), Pointer::Hand},
        {Pointer::Default, CancelOf(window), Pointer::Hand},
        {Pointer::Hand, window.hwnd(), Pointer::Default},
        {Pointer::Hand, window.ControlById(kIdPasswordWindowFrame).hwnd, Pointer::Default},
        {Pointer::Hand, FieldOf(window), Pointer::Hand},  // the field is not named by the rule
    };
    for (const auto& row : rows) {
        // The state before, as a move over a button or over the background leaves it.
        hover(row.before == Pointer::Hand ? OkOf(window) : window.hwnd());
        ASSERT_EQ(window.PointerState(), row.before);
        hover(row.over);
        EXPECT_EQ(window.PointerState(), row.after) << "from " << static_cast<int>(row.before);
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
            SetWindowTextA(ControlWindow(kIdPasswordField), "");
            TypeIntoMainField(row.typedIntoMainField);
        }
        if (row.plainStored != nullptr) settings.Save(kKeyPassword, row.plainStored);
        HideInTray();
        const PasswordWindow& window = OpenPasswordWindow();
        prompts.boxes.clear();
        SetWindowTextA(FieldOf(window), row.typed);
        ClickOk(window);
        ProcessPendingEvents();

        if (row.accepted) {
            EXPECT_TRUE(prompts.boxes.empty());
            EXPECT_TRUE(IsWindowVisible(form->hwnd())) << "the main window is shown";
            EXPECT_FALSE(IsIconic(form->hwnd())) << "in its normal state";
            EXPECT_FALSE(Locked());
            EXPECT_FALSE(MainWindowView::Tray(*form).InTray()) << "the tray icon is removed";
            EXPECT_FALSE(window.Loaded()) << "the password window is unloaded";
        } else {
            ASSERT_EQ(prompts.boxes.size(), 1u);
            EXPECT_EQ(prompts.boxes[0].text, kInvalidPasswordMessage);
            EXPECT_EQ(prompts.boxes[0].title, ApplicationTitle());
            EXPECT_EQ(prompts.boxes[0].style, static_cast<unsigned>(MB_OK));
            EXPECT_TRUE(window.Loaded()) << "the window stays open";
            EXPECT_FALSE(IsWindowVisible(form->hwnd()));
            EXPECT_TRUE(Locked());
            EXPECT_TRUE(MainWindowView::Tray(*form).InTray());
            EXPECT_EQ(GetFocus(), FieldOf(window));
            DWORD start = 1, end = 0;
            SendMessageA(FieldOf(window), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                         reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(start, 0u);
            EXPECT_EQ(end, std::string(row.typed).size()) << "the whole typed text is selected";
            SendMessageA(CancelOf(window), BM_CLICK, 0, 0);
            form->Unlock();
            SetWindowTextA(ControlWindow(kIdPasswordField), "");  // the next row starts unprotected
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
    const PasswordWindow* window = &OpenPasswordWindow();
    auto okEnabled = [&] { return IsWindowEnabled(OkOf(*window)) != FALSE; };
    auto tryText = [&](const char* text) {
        SetWindowTextA(FieldOf(*window), text);
        ClickOk(*window);
        ProcessPendingEvents();
    };
    // Lets the window's timer run until OK is enabled again; the milliseconds since `since`.
    auto waitForOk = [&](ULONGLONG since) -> ULONGLONG {
        const ULONGLONG spent = GetTickCount64() - since;
        RunLoopUntil(okEnabled, static_cast<int>(spent < 5000 ? 5000 - spent : 0));
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
    SetWindowTextA(FieldOf(*window), "Lynx");
    PostMessageA(FieldOf(*window), WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(window->hwnd(), WM_COMMAND, IDOK, 0);
    PostMessageA(OkOf(*window), BM_CLICK, 0, 0);
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
    SendMessageA(CancelOf(*window), BM_CLICK, 0, 0);
    ProcessPendingEvents();
    window = &OpenPasswordWindow();
    EXPECT_FALSE(okEnabled()) << "the wait goes on in the window opened again";
    waited = waitForOk(fourth);
    EXPECT_GE(waited, 1900u);
    EXPECT_LT(waited, 3900u) << "the fourth wrong try in a row doubles the wait";

    // Once OK waits no more, Enter in the field is OK again; the right password ends the count.
    SetWindowTextA(FieldOf(*window), "Lynx");
    PostMessageA(FieldOf(*window), WM_KEYDOWN, VK_RETURN, 1);
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
    const PasswordWindow& window = OpenPasswordWindow();
    SetWindowTextA(FieldOf(window), "Lino");
    ClickOk(window);
    SendMessageA(FieldOf(window), WM_CHAR, 'L', 1);
    EXPECT_EQ(Text(FieldOf(window)), "L") << "the selected wrong entry is replaced, not appended to";
    for (char c : std::string("ion")) SendMessageA(FieldOf(window), WM_CHAR, c, 1);
    ClickOk(window);
    EXPECT_TRUE(IsWindowVisible(form->hwnd()));
    EXPECT_EQ(prompts.boxes.size(), 1u);
}

TEST_F(PasswordWindowTest, CancelAndCloseBoxLeaveTheProgramHidden) {
    TypeIntoMainField("Owl");
    HideInTray();
    for (const char* how : {"Cancel", "close box", "Escape"}) {
        SCOPED_TRACE(how);
        const PasswordWindow& window = OpenPasswordWindow();
        EXPECT_EQ(Text(FieldOf(window)), "") << "each opening starts with an empty field";
        SetWindowTextA(FieldOf(window), "Ow");
        if (std::string(how) == "Cancel")
            SendMessageA(CancelOf(window), BM_CLICK, 0, 0);
        else if (std::string(how) == "close box")
            SendMessageA(window.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            SendMessageA(window.hwnd(), WM_COMMAND, IDCANCEL, 0);
        ProcessPendingEvents();
        EXPECT_FALSE(window.Loaded());
        EXPECT_FALSE(IsWindowVisible(form->hwnd()));
        EXPECT_TRUE(Locked());
        EXPECT_TRUE(MainWindowView::Tray(*form).InTray());
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
    const PasswordWindow& window = OpenPasswordWindow();
    HWND first = window.hwnd();
    SetWindowTextA(FieldOf(window), "half typ");
    ShowWindow(first, SW_MINIMIZE);
    ClickTrayIcon(WM_RBUTTONUP);  // a right click does the same
    ProcessPendingEvents();
    EXPECT_EQ(MainWindowView::LoadedPasswordWindow(*form)->hwnd(), first) << "no second password window";
    EXPECT_TRUE(IsWindowVisible(first));
    EXPECT_FALSE(IsIconic(first)) << "shown again";
    EXPECT_EQ(Text(FieldOf(window)), "half typ") << "shown again, not opened anew";

    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountPasswordWindows, reinterpret_cast<LPARAM>(&count));
    EXPECT_EQ(count, 1);
}

TEST_F(PasswordWindowTest, AcceptedWhileMainWindowShownRemovesTheIcon) {
    ASSERT_TRUE(MainWindowView::Tray(*form).InTray()) << "the icon is there from start-up on";
    ASSERT_TRUE(IsWindowVisible(form->hwnd()));
    const PasswordWindow& window = OpenPasswordWindow();
    ClickOk(window);
    EXPECT_TRUE(IsWindowVisible(form->hwnd()));
    EXPECT_FALSE(MainWindowView::Tray(*form).InTray());
    EXPECT_FALSE(Locked());
    EXPECT_FALSE(window.Loaded());
}

// The shell refuses the tray icon's removal once, as a Failure where the record is handed over.
bool refuseIconRemoval = false;
BOOL WINAPI RefusingIconRemovalOnce(DWORD message, PNOTIFYICONDATAA record) {
    if (message == NIM_DELETE && std::exchange(refuseIconRemoval, false)) throw Failure("The shell refused.");
    return Shell_NotifyIconA(message, record);
}

TEST_F(PasswordWindowTest, ARefusedIconRemovalIsReportedAndTheWindowStillComesBack) {
    shellNotifyIcon = RefusingIconRemovalOnce;
    DropMainWindow();
    StartMainWindow();
    HideInTray();
    const PasswordWindow& window = OpenPasswordWindow();
    prompts.boxes.clear();
    refuseIconRemoval = true;
    ClickOk(window);
    ProcessPendingEvents();
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_NE(prompts.boxes[0].text.find(std::string(kOkLocation) + "at line 102"), std::string::npos)
        << prompts.boxes[0].text;
    EXPECT_TRUE(IsWindowVisible(form->hwnd())) << "the main window comes back all the same";
    EXPECT_FALSE(Locked());
    EXPECT_TRUE(IsWindowEnabled(ControlWindow(kIdStartStopButton))) << "with its controls enabled";
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
        if (!Locked()) HideInTray();
        const PasswordWindow& window = OpenPasswordWindow();
        prompts.boxes.clear();
        SetWindowTextA(FieldOf(window), row.typed);
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
        EXPECT_TRUE(Locked());
        EXPECT_TRUE(MainWindowView::Tray(*form).InTray()) << "the tray icon stays";
    }
}

TEST_F(PasswordWindowTest, MainFieldStoresEveryChangeHashed) {
    EXPECT_EQ(Text(ControlWindow(kIdPasswordField)), "");
    std::string previous;
    for (std::string typed : {"P", "Pa", "Pa ", "Pa s"}) {
        SendMessageA(ControlWindow(kIdPasswordField), WM_CHAR, static_cast<unsigned char>(typed.back()), 1);
        std::string stored = settings.Get(kKeyPassword, "<missing>");
        EXPECT_TRUE(IsPasswordHash(stored)) << stored;
        EXPECT_TRUE(PasswordMatches(typed, stored)) << "stored at every change: " << typed;
        EXPECT_NE(stored, previous);
        previous = stored;
    }
    // Deleting every character stores the empty value: no protection.
    for (int i = 0; i < 4; ++i) SendMessageA(ControlWindow(kIdPasswordField), WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(settings.Get(kKeyPassword, "<missing>"), "");

    // A paste is a change like any other.
    SendMessageA(ControlWindow(kIdPasswordField), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("Pasted in"));
    EXPECT_TRUE(PasswordMatches("Pasted in", settings.Get(kKeyPassword)));

    // A text longer than the field takes is cut to its length, and that is what is stored.
    const std::string huge(1000000, 'h');
    SendMessageA(ControlWindow(kIdPasswordField), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(huge.c_str()));
    EXPECT_EQ(Text(ControlWindow(kIdPasswordField)), huge.substr(0, 256));
    EXPECT_TRUE(PasswordMatches(huge.substr(0, 256), settings.Get(kKeyPassword)));
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(PasswordWindowTest, FieldStartsEmptyAndStartKeepsTheStoredPassword) {
    TypeIntoMainField("Stays");
    std::string stored = settings.Get(kKeyPassword);
    DropMainWindow();
    StartMainWindow();
    ProcessPendingEvents();
    EXPECT_EQ(Text(ControlWindow(kIdPasswordField)), "") << "the stored password is never shown in the field";
    EXPECT_EQ(settings.Get(kKeyPassword), stored) << "a start does not change the password";
    HideInTray();
    const PasswordWindow& window = OpenPasswordWindow();
    ClickOk(window);
    EXPECT_FALSE(IsWindowVisible(form->hwnd())) << "the untouched field still guards the tray";
}

TEST_F(PasswordWindowTest, RefusedStoreIsToldOnceThenRecovers) {
    // A settings root that is no key at all: the store refuses every write.
    settings = SettingsStore(reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x7777)), "nowhere");
    TypeIntoMainField("abc");
    settings = SettingsStore(HKEY_CURRENT_USER, settingsKey);
    ASSERT_EQ(prompts.boxes.size(), 1u) << "told once, not at every key";
    EXPECT_EQ(prompts.boxes[0].text.rfind(kPasswordNotStoredLine, 0), 0u) << prompts.boxes[0].text;
    EXPECT_EQ(prompts.boxes[0].title, ApplicationTitle());

    TypeIntoMainField("d");
    EXPECT_TRUE(PasswordMatches("abcd", settings.Get(kKeyPassword)));
    EXPECT_EQ(prompts.boxes.size(), 1u);
}

}  // namespace
