#include <gtest/gtest.h>

#include <vector>

#include "SampleSites.h"
#include "FileHelpers.h"
#include "Handles.h"
#include "TrayIcon.h"
#include "StartWithWindows.h"
#include "support/MainWindowFixture.h"
#include "support/SecurityReadBack.h"
#include "support/RecordedBalloons.h"
#include "Appearance.h"
#include "UserTexts.h"
#include "support/MainWindowView.h"

namespace {

const std::string kSeparator = kWebsiteListSeparator;
const std::vector<std::string> kDefaults(kDefaultList.begin(), kDefaultList.end());
const char kLoadLocation[] = "in Nestwarden2021/08/31.Form1.Form_Load ";

std::string ColumnHeading(HWND list) {
    char text[64] = "";
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = sizeof text;
    ListView_GetColumn(list, 0, &column);
    return text;
}

std::string WindowCaption(HWND window) {
    char text[128] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

using MainWindowStartup = MainWindowTest;

TEST_F(MainWindowStartup, FirstRunShowsTheDefaultListAndAVisibleWindow) {
    MainWindow& main = StartMainWindow();

    EXPECT_EQ(Entries(), kDefaults) << "samples 1, 3, 4, 2";
    EXPECT_EQ(Entries()[0], kSampleSite1);
    EXPECT_EQ(Entries()[3], kSampleSite2);
    EXPECT_EQ(Value(kIdStartWithWindowsBox), 0);
    EXPECT_EQ(Value(kIdStartInTrayBox), 0);
    EXPECT_TRUE(MainWindowView::ControlById(main, kIdStartInTrayBox).Visible())
        << "start-up leaves the tray box visible";
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
    EXPECT_TRUE(ShownNormally());
    EXPECT_TRUE(MainWindowView::Tray(main).InTray());
    EXPECT_EQ(MainWindowView::Tray(main).Tip(), "Parvalisk");
    EXPECT_NE(MainWindowView::Tray(main).Icon(), nullptr);
    EXPECT_NE(ProgramIcon(false), nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(main.hwnd(), WM_GETICON, ICON_BIG, 0)), ProgramIcon(false))
        << "the window carries the program icon";
    EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(main.hwnd(), GCLP_HICONSM)), ProgramIcon(true))
        << "its class gives the small one";
    EXPECT_EQ(WindowCaption(main.hwnd()), "Parvalisk");
    EXPECT_EQ(ApplicationTitle(), "Parvalisk");
    EXPECT_EQ(MainWindowView::ControlById(main, kIdStatusLabel).BackColor(), RGB(255, 255, 255))
        << "statusLabel_ ends on white";
    EXPECT_FALSE(MainWindowView::State(main).loading);
    EXPECT_TRUE(MainWindowView::State(main).userIsAdmin);

    EXPECT_EQ(ColumnHeading(ListWindow()), kListColumnHeading);
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(ListView_GetColumnWidth(ListWindow(), 0), MulDiv(7000, dpi, 1440));
    // The tooltip is made when the pointer first comes over the list.
    auto listTip = [&] {
        HWND tip = nullptr;
        while ((tip = FindWindowExA(nullptr, tip, TOOLTIPS_CLASSA, nullptr)) != nullptr)
            if (GetWindow(tip, GW_OWNER) == main.hwnd()) return tip;
        return HWND{};
    };
    EXPECT_EQ(listTip(), nullptr) << "no tooltip before it is needed";
    SendMessageA(main.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(ListWindow()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(listTip(), nullptr) << "the pointer over the list makes it";
    wchar_t text[256] = L"";
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.hwnd = main.hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(ListWindow());
    tool.lpszText = text;
    SendMessageW(listTip(), TTM_GETTEXTW, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(&tool));
    const std::string tip(kListToolTip);
    EXPECT_EQ(std::wstring(text), std::wstring(tip.begin(), tip.end()));

    EXPECT_EQ(MainWindowView::State(main).dataFolder, commonAppData + "\\Kelmarin\\Parvalisk");
    DWORD attributes = GetFileAttributesA(dataFolder.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));

    // Nothing is written by merely starting: no option, no Run entry, no marker, no box.
    EXPECT_EQ(Setting(kKeyStartWithWindows), "<absent>");
    EXPECT_EQ(Setting(kKeyMinimized), "<absent>");
    EXPECT_EQ(Setting(kKeyBlockOnStart), "<absent>");
    EXPECT_EQ(RunValue(), "<absent>");
    EXPECT_FALSE(FileExists(dataFolder + "\\iStart"));
    EXPECT_TRUE(prompts.boxes.empty());
    EXPECT_TRUE(answers.openedPages.empty());
}

TEST_F(MainWindowStartup, StoredListsComeBackAsStored) {
    struct Case {
        std::string stored;
        std::vector<std::string> shown;
    };
    const std::string s = kSeparator;
    const Case cases[] = {
        {"A" + s + "B" + s, {"A", "B"}},
        {"A" + s + s + "B" + s, {"A", "B"}},  // the empty piece is dropped
        {" spaced " + s + "UPPER.example" + s, {" spaced ", "UPPER.example"}},
        {"no-separator", {"no-separator"}},
        {"", kDefaults},     // a cleared list
        {s + s, kDefaults},  // only empty pieces
    };
    for (const Case& c : cases) {
        settings.Save(kKeyBlockedWebsites, c.stored);
        StartMainWindow();
        EXPECT_EQ(Entries(), c.shown) << "stored: " << c.stored;
        DropMainWindow();
    }
}

TEST_F(MainWindowStartup, AClearedListGivesTheDefaultsAgainAtTheNextStart) {
    settings.Save(kKeyBlockedWebsites, "A" + kSeparator);
    StartMainWindow();
    ASSERT_EQ(Entries(), std::vector<std::string>{"A"});
    SetEntries({});
    Click(kIdStartStopButton);  // saves the (empty) list, then refuses to start
    EXPECT_EQ(Setting(kKeyBlockedWebsites), "");
    DropMainWindow();

    StartMainWindow();
    EXPECT_EQ(Entries(), kDefaults);
}

// One row per line of the start-up outcome: stored "BlockOnStart", the marker, the user's rights,
// and a backup of the hosts file in the data folder (a block in force on the machine).
TEST_F(MainWindowStartup, OutcomeByStoredSettingsMarkerAndRights) {
    // What the machine holds of an earlier block: no backup, a trusted one with the block lines in
    // the hosts file or a planted one, no backup but the list's block lines in the hosts file, or
    // the clean copy that a stop put back but could not delete (equal to the hosts file).
    enum class Backup { None, Trusted, Planted, BlockLinesOnly, LeftByAStop };
    struct Row {
        const char* blockOnStart;  // nullptr: absent
        bool marker;
        bool administrator;
        bool resumes;  // caption "Stop Blocking" and StartBlocking run
        bool adopts;
        Backup backup = Backup::None;
    };
    const Row rows[] = {
        {"1", false, true, true, false},
        {"1", true, false, true, false},
        {"-1", false, false, true, false},
        {"0", true, false, true, true},
        {nullptr, true, false, true, true},
        {"0", true, true, false, false},
        {nullptr, true, true, false, false},
        {"0", false, false, false, false},
        {nullptr, false, true, false, false},
        {"0", false, true, true, false, Backup::Trusted},
        {"0", false, false, true, false, Backup::Trusted},
        {"0", false, true, false, false, Backup::Planted},
        {"0", false, true, true, false, Backup::BlockLinesOnly},
        {"0", false, true, false, false, Backup::LeftByAStop},
        {"0", false, false, false, false, Backup::LeftByAStop},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("BlockOnStart ") + (row.blockOnStart ? row.blockOnStart : "absent") +
                     (row.marker ? ", marker" : ", no marker") +
                     (row.administrator ? ", admin" : ", not admin") +
                     (row.backup == Backup::Trusted          ? ", backup"
                      : row.backup == Backup::Planted        ? ", planted backup"
                      : row.backup == Backup::BlockLinesOnly ? ", block lines, no backup"
                      : row.backup == Backup::LeftByAStop    ? ", backup a stop put back"
                                                             : ""));
        RegDeleteTreeA(HKEY_CURRENT_USER, settingsKey.c_str());
        DeleteRunValue();
        if (row.blockOnStart) settings.Save(kKeyBlockOnStart, row.blockOnStart);
        if (row.marker) {
            MakeDataFolder();
            WriteBytes(dataFolder + "\\iStart", " ");
        } else {
            DeleteFileA((dataFolder + "\\iStart").c_str());
        }
        answers.administrator = row.administrator;
        const std::string clean = "127.0.0.1 localhost\r\n";
        const std::string blocked = clean + "\r\n127.0.0.1          A\r\n";
        const bool heldBlock = row.backup == Backup::Trusted || row.backup == Backup::BlockLinesOnly;
        WriteBytes(hostsPath, heldBlock ? blocked : clean);
        settings.Save(kKeyBlockedWebsites, "A" + kSeparator);
        const std::string backup = dataFolder + "\\hosts";
        if (row.backup == Backup::Trusted || row.backup == Backup::Planted ||
            row.backup == Backup::LeftByAStop) {
            MakeDataFolder();
            WriteBytes(backup, clean);
            if (row.backup == Backup::Planted) owners.NameOwner(backup, "S-1-5-21-1-2-3-1001");
        }

        MainWindow& main = StartMainWindow();
        EXPECT_EQ(MainWindowView::State(main).userIsAdmin, row.administrator);
        EXPECT_EQ(Caption(kIdStartStopButton), row.resumes ? kStopBlockingCaption : kStartBlockingCaption);
        if (row.resumes) {
            EXPECT_TRUE(MainWindowView::State(main).blocking);
            EXPECT_FALSE(ShownNormally()) << "the resumed block takes the window out of sight";
        } else {
            EXPECT_TRUE(ShownNormally()) << "nothing more: the window is shown";
        }
        EXPECT_EQ(Value(kIdStartWithWindowsBox), row.adopts ? 1 : 0);
        EXPECT_EQ(Setting(kKeyStartWithWindows), row.adopts ? "On" : "<absent>");
        // A block that is written is recorded at once, with the start in the tray, which the box
        // shows.
        const bool written = row.resumes && row.administrator;
        EXPECT_EQ(Value(kIdStartInTrayBox), row.adopts || written ? 1 : 0);
        EXPECT_EQ(Setting(kKeyMinimized), row.adopts || written ? "On" : "<absent>");
        EXPECT_EQ(Setting(kKeyBlockOnStart),
                  row.adopts || written ? "1" : (row.blockOnStart ? row.blockOnStart : "<absent>"));
        // The block lines are written only with administrator rights.
        EXPECT_EQ(ReadBytes(hostsPath), heldBlock || (row.resumes && row.administrator) ? blocked : clean);
        EXPECT_TRUE(prompts.boxes.empty());
        if (row.backup == Backup::Trusted || row.backup == Backup::BlockLinesOnly) {
            EXPECT_EQ(ReadBytes(backup), clean) << "the clean copy is kept";
        }
        if (row.backup == Backup::LeftByAStop) {
            EXPECT_EQ(ReadBytes(backup), "<missing>") << "the lifted block's copy goes";
        }
        DropMainWindow();
        owners.Forget(backup);
        SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(backup.c_str());
    }
}

TEST_F(MainWindowStartup, AResumedBlockThatCannotBeWrittenIsToldByTheTrayBalloon) {
    balloons.clear();
    shellNotifyIcon = RecordBalloonsEndingAtOnce;
    settings.Save(kKeyBlockOnStart, "1");
    settings.Save(kKeyBlockedWebsites, "A" + kSeparator);
    WriteBytes(hostsPath, "clean\r\n");
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_READONLY);

    StartMainWindow();
    EXPECT_TRUE(prompts.boxes.empty()) << "start-up shows no box";
    EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
    EXPECT_EQ(ReadBytes(hostsPath), "clean\r\n");
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_STREQ(balloons[0].szInfoTitle, "Parvalisk");
    EXPECT_STREQ(balloons[0].szInfo, kResumedBlockNotWritten);
    SetFileAttributesA(hostsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(MainWindowStartup, AdoptionRunsTheStartWithWindowsBoxInFull) {
    MakeDataFolder();
    WriteBytes(dataFolder + "\\iStart", " ");
    answers.administrator = false;
    MainWindow& main = StartMainWindow();

    EXPECT_TRUE(MainWindowView::ControlById(main, kIdStartInTrayBox).Visible());
    EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption);
    EXPECT_EQ(RunValue(), RunValueData(ProgramPath()))
        << "the box's click ran with the loading flag clear (the write itself needs rights on Windows)";
    EXPECT_EQ(ReadBytes(dataFolder + "\\iStart"), " ");
}

TEST_F(MainWindowStartup, OnlyAnOrdinaryMarkerFileIsAdopted) {
    MakeDataFolder();
    answers.administrator = false;
    for (DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
        std::string marker = dataFolder + "\\iStart";
        SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteBytes(marker, " ");
        SetFileAttributesA(marker.c_str(), attribute);
        StartMainWindow();
        EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption) << "attribute " << attribute;
        EXPECT_EQ(Setting(kKeyStartWithWindows), "<absent>");
        DropMainWindow();
    }
    std::string marker = dataFolder + "\\iStart";
    SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(marker.c_str());
    CreateDirectoryA(marker.c_str(), nullptr);
    StartMainWindow();
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption) << "a folder is no marker";
}

TEST_F(MainWindowStartup, BlockOnStartThatIsNoNumberIsReportedThenBlockingResumes) {
    WriteBytes(hostsPath, "127.0.0.1 localhost\r\n");
    for (const char* stored : {"yes", "", "1x"}) {
        settings.Save(kKeyBlockOnStart, stored);
        prompts.boxes.clear();
        StartMainWindow();
        ASSERT_EQ(prompts.boxes.size(), 1u) << "stored: '" << stored << "'";
        EXPECT_EQ(prompts.boxes[0].text.rfind(
                      std::string("Type mismatch\r\n") + kLoadLocation + "at line 184\r\r", 0),
                  0u)
            << prompts.boxes[0].text;
        EXPECT_EQ(prompts.boxes[0].title, kErrorReportTitle);
        EXPECT_EQ(Caption(kIdStartStopButton), kStopBlockingCaption)
            << "the test's branch runs after the report";
        DropMainWindow();
    }
}

TEST_F(MainWindowStartup, StartInTrayStartsMinimisedWithBlockingOff) {
    settings.Save(kKeyMinimized, "On");
    settings.Save(kKeyBlockOnStart, "0");
    StartMainWindow();
    EXPECT_EQ(Value(kIdStartInTrayBox), 1);
    EXPECT_FALSE(ShownNormally());
    EXPECT_EQ(Caption(kIdStartStopButton), kStartBlockingCaption);
    EXPECT_EQ(Setting(kKeyMinimized), "On") << "the box saved back the value it was given";
}

TEST_F(MainWindowStartup, OptionsOnlyCountWhenSpeltOn) {
    for (const char* stored : {"on", "ON", "On ", ""}) {
        settings.Save(kKeyStartWithWindows, stored);
        settings.Save(kKeyMinimized, stored);
        StartMainWindow();
        EXPECT_EQ(Value(kIdStartWithWindowsBox), 0) << stored;
        EXPECT_EQ(Value(kIdStartInTrayBox), 0) << stored;
        EXPECT_TRUE(ShownNormally()) << stored;
        DropMainWindow();
    }
}

TEST_F(MainWindowStartup, TheLoadingFlagKeepsTheStartWithWindowsBoxQuiet) {
    settings.Save(kKeyStartWithWindows, "On");
    MainWindow& main = StartMainWindow();
    EXPECT_EQ(Value(kIdStartWithWindowsBox), 1);
    EXPECT_FALSE(MainWindowView::State(main).loading);
    EXPECT_EQ(RunValue(), "<absent>") << "setting the box at start-up writes no Run entry";
    EXPECT_FALSE(FileExists(dataFolder + "\\iStart")) << "nor the marker";
    EXPECT_EQ(Setting(kKeyStartWithWindows), "On");

    // Once start-up is over, the same change does its work.
    Click(kIdStartWithWindowsBox);
    EXPECT_EQ(Setting(kKeyStartWithWindows), "Off");
    Click(kIdStartWithWindowsBox);
    EXPECT_EQ(RunValue(), RunValueData(ProgramPath()));
    EXPECT_TRUE(FileExists(dataFolder + "\\iStart"));
}

TEST_F(MainWindowStartup, HomePageOpensOnlyOnTheDrawOfSeven) {
    for (int draw : {1, 6, 7, 8, 100}) {
        answers.draw = draw;
        answers.openedPages.clear();
        StartMainWindow();
        if (draw == 7)
            EXPECT_EQ(answers.openedPages, std::vector<std::string>{"http://www.kelmarin.com/"});
        else
            EXPECT_TRUE(answers.openedPages.empty()) << draw;
        DropMainWindow();
    }
    // A launch that fails is reported at the line of the whole step, and start-up goes on.
    answers.draw = 7;
    answers.homePageFails = true;
    prompts.boxes.clear();
    StartMainWindow();
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_NE(prompts.boxes[0].text.find(std::string(kLoadLocation) + "at line 112\r\r"), std::string::npos)
        << prompts.boxes[0].text;
    EXPECT_EQ(Entries(), kDefaults);
}

TEST_F(MainWindowStartup, DataFolderIsMadeOneLevelAtATimeAndAFailureIsReported) {
    // A file where the maker's folder belongs: the existence test passes it, the data folder
    // cannot be made below it, start-up reports that and still completes.
    WriteBytes(commonAppData + "\\Kelmarin", "not a folder");
    MainWindow& main = StartMainWindow();
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_NE(prompts.boxes[0].text.find(std::string(kLoadLocation) + "at line 166\r\r"), std::string::npos)
        << prompts.boxes[0].text;
    EXPECT_EQ(Entries(), kDefaults);
    EXPECT_TRUE(MainWindowView::Tray(main).InTray());
    EXPECT_TRUE(ShownNormally());
}

TEST_F(MainWindowStartup, HandPointerIsLoadedOnlyFromAPointerFile) {
    const std::string path = ProgramFolderFile("HAND-M.CUR");
    {
        MainWindow& main = StartMainWindow();
        EXPECT_EQ(MainWindowView::HandPointer(main), nullptr) << "no file: the system pointers stay";
        DropMainWindow();
    }
    {
        ProgramFolderFileForTest cursor(path, CursorFileBytes());
        MainWindow& main = StartMainWindow();
        EXPECT_NE(MainWindowView::HandPointer(main), nullptr);
        EXPECT_TRUE(prompts.boxes.empty());
        DropMainWindow();
    }
    {
        ProgramFolderFileForTest broken(path, "this is no pointer");
        StartMainWindow();
        ASSERT_EQ(prompts.boxes.size(), 1u);
        EXPECT_NE(prompts.boxes[0].text.find(std::string(kLoadLocation) + "at line 110\r\r"),
                  std::string::npos);
        EXPECT_EQ(Entries(), kDefaults) << "start-up goes on after the report";
    }
}

TEST_F(MainWindowStartup, SkinFileGivesTheOptionFrameTheButtonFace) {
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    {
        MainWindow& main = StartMainWindow();
        EXPECT_EQ(MainWindowView::ControlById(main, kIdOptionsFrame).BackColor(), RGB(255, 255, 255))
            << "without the skin the layout's white stays";
        EXPECT_EQ(MainWindowView::ControlById(main, kIdStartWithWindowsBox).BackColor(), RGB(255, 255, 255));
        DropMainWindow();
    }
    ProgramFolderFileForTest skin(ProgramFolderFile("x\\o.cjs"), "skin");
    MainWindow& main = StartMainWindow();
    EXPECT_EQ(MainWindowView::ControlById(main, kIdOptionsFrame).BackColor(), face);
    EXPECT_EQ(MainWindowView::ControlById(main, kIdStartWithWindowsBox).BackColor(), face);
    EXPECT_EQ(MainWindowView::ControlById(main, kIdStartInTrayBox).BackColor(), face);
    EXPECT_EQ(MainWindowView::ControlById(main, kIdStartStopButton).BackColor(), CLR_INVALID)
        << "buttons keep their own colour";
    EXPECT_EQ(MainWindowView::ControlById(main, kIdPasswordField).BackColor(), CLR_INVALID);
    EXPECT_EQ(MainWindowView::ControlById(main, kIdStatusLabel).BackColor(), RGB(255, 255, 255))
        << "statusLabel_ is set to white last";
}

TEST_F(MainWindowStartup, LayoutAndTabOrderFollowTheTable) {
    MainWindow& main = StartMainWindow();
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };

    RECT client;
    GetClientRect(main.hwnd(), &client);
    EXPECT_EQ(client.right, px(8040));
    EXPECT_EQ(client.bottom, px(6300));
    LONG style = GetWindowLongA(main.hwnd(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "the size cannot be changed by dragging";

    struct Place {
        HWND control;
        int left, top, width, height;  // twips, inside frames already added to the frame's place
        const char* name;
    };
    const Place places[] = {
        {ControlWindow(kIdHelpButton), 120, 120, 3840, 405, "helpButton_"},
        {ControlWindow(kIdScheduleButton), 4080, 120, 3840, 405, "scheduleButton_"},
        {ListWindow(), 120, 660, 7800, 1905, "websiteList_"},
        {ControlWindow(kIdAddWebsiteButton), 120, 2640, 3840, 405, "addWebsiteButton_"},
        {ControlWindow(kIdLoadFromFileButton), 4080, 2640, 3840, 405, "loadFromFileButton_"},
        {ControlWindow(kIdClearListButton), 120, 3150, 3840, 405, "clearListButton_"},
        {ControlWindow(kIdLoadSamplesButton), 4080, 3150, 3840, 405, "loadSamplesButton_"},
        {ControlWindow(kIdOptionsFrame), 120, 3615, 7800, 735, "optionsFrame_"},
        {ControlWindow(kIdStartWithWindowsBox), 120 + 240, 3615 + 300, 3690, 255, "startWithWindowsBox_"},
        {ControlWindow(kIdStartInTrayBox), 120 + 4200, 3615 + 300, 2100, 255, "startInTrayBox_"},
        {ControlWindow(kIdPasswordFrame), 120, 4425, 7800, 820, "passwordFrame_"},
        {ControlWindow(kIdPasswordField), 120 + 240, 4425 + 300, 7320, 345, "passwordField_"},
        {ControlWindow(kIdStartStopButton), 120, 5385, 7800, 405, "startStopButton_"},
        {ControlWindow(kIdStatusLabel), 120, 5910, 7800, 270, "statusLabel_"},
    };
    for (const Place& place : places) {
        RECT r;
        GetWindowRect(place.control, &r);
        MapWindowPoints(nullptr, main.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, px(place.left)) << place.name;
        EXPECT_EQ(r.top, px(place.top)) << place.name;
        EXPECT_EQ(r.right - r.left, px(place.width)) << place.name;
        EXPECT_EQ(r.bottom - r.top, px(place.height)) << place.name;
    }
    EXPECT_EQ(SendMessageA(ControlWindow(kIdPasswordField), EM_GETPASSWORDCHAR, 0, 0), '*');

    // The frames lie below every other shown control, so their fill never covers a box or the field.
    std::vector<HWND> shownTopDown;
    for (HWND child = GetWindow(main.hwnd(), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowVisible(child)) shownTopDown.push_back(child);
    ASSERT_EQ(shownTopDown.size(), 14u);
    EXPECT_EQ(shownTopDown[12], ControlWindow(kIdOptionsFrame));
    EXPECT_EQ(shownTopDown[13], ControlWindow(kIdPasswordFrame));

    // Arial bold: 9 point in the window, the list and the frames, 11.25 point on the buttons.
    auto font = [](HWND control) {
        LOGFONTA logical{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof logical,
                   &logical);
        return logical;
    };
    for (HWND control : {ListWindow(), ControlWindow(kIdOptionsFrame), ControlWindow(kIdPasswordFrame),
                         ControlWindow(kIdStartWithWindowsBox), ControlWindow(kIdStartStopButton),
                         ControlWindow(kIdLoadSamplesButton)}) {
        bool button =
            control == ControlWindow(kIdStartStopButton) || control == ControlWindow(kIdLoadSamplesButton);
        LOGFONTA logical = font(control);
        EXPECT_STREQ(logical.lfFaceName, "Arial");
        EXPECT_EQ(logical.lfWeight, FW_BOLD);
        EXPECT_EQ(logical.lfHeight, -MulDiv(button ? 1125 : 900, dpi, 7200));
    }

    // Tab walks the focusable controls by their tab index.
    const HWND order[] = {ListWindow(),
                          ControlWindow(kIdAddWebsiteButton),
                          ControlWindow(kIdLoadFromFileButton),
                          ControlWindow(kIdClearListButton),
                          ControlWindow(kIdStartStopButton),
                          ControlWindow(kIdHelpButton),
                          ControlWindow(kIdScheduleButton),
                          ControlWindow(kIdStartWithWindowsBox),
                          ControlWindow(kIdStartInTrayBox),
                          ControlWindow(kIdPasswordField),
                          ControlWindow(kIdLoadSamplesButton),
                          ListWindow()};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(GetNextDlgTabItem(main.hwnd(), order[i], FALSE), order[i + 1]) << "after tab stop " << i;
}

}  // namespace

// ---- start-up and the files it believes: the marker counts only with a trusted owner, and the
// folders start-up makes (or finds open) end up closed to standard users ----------------------

namespace {

class StartupSecurity : public MainWindowTest {
  protected:
    void TearDown() override {
        owners.Forget(dataFolder + "\\iStart");
        MainWindowTest::TearDown();
    }
    // Everyone may write in the folder (the open list a folder can carry from before).
    static void OpenUp(const std::string& folder) {
        PSECURITY_DESCRIPTOR open = FromSddl("D:(A;OICI;FA;;;WD)(A;OICI;FA;;;BU)");
        BOOL present = FALSE, defaulted = FALSE;
        PACL list = nullptr;
        GetSecurityDescriptorDacl(open, &present, &list, &defaulted);
        SetNamedSecurityInfoA(const_cast<char*>(folder.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, list, nullptr);
        LocalFree(open);
    }
};

}  // namespace

TEST_F(StartupSecurity, AMarkerWithAForeignOwnerAdoptsNothing) {
    struct Case {
        const char* owner;  // "" : the program wrote it
        bool adopts;
    } cases[] = {{"S-1-5-32-545", false}, {"S-1-5-21-1-2-3-1001", false}, {"", true}};
    answers.administrator = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("marker owner ") + (*c.owner ? c.owner : "the program"));
        RegDeleteTreeA(HKEY_CURRENT_USER, settingsKey.c_str());
        DeleteRunValue();
        MakeDataFolder();
        WriteBytes(dataFolder + "\\iStart", " ");
        owners.Forget(dataFolder + "\\iStart");
        if (*c.owner) PlantOwner(owners, dataFolder + "\\iStart", c.owner);

        StartMainWindow();
        EXPECT_EQ(Caption(kIdStartStopButton), c.adopts ? kStopBlockingCaption : kStartBlockingCaption);
        EXPECT_EQ(Value(kIdStartWithWindowsBox), c.adopts ? 1 : 0);
        EXPECT_EQ(Setting(kKeyStartWithWindows), c.adopts ? "On" : "<absent>");
        EXPECT_EQ(Setting(kKeyBlockOnStart), c.adopts ? "1" : "<absent>");
        EXPECT_EQ(ReadBytes(dataFolder + "\\iStart"), " ") << "the marker itself is left alone";
        DropMainWindow();
    }
}

TEST_F(StartupSecurity, StartUpMakesClosedFoldersAndAnAdministratorsRunClosesOpenOnes) {
    const std::string maker = commonAppData + "\\Kelmarin";
    answers.administrator = false;
    StartMainWindow();
    for (const std::string& folder : {maker, dataFolder}) {
        ASSERT_TRUE(FileExists(folder)) << folder;
        for (const Entry& e : AccessEntriesOf(ReadBack(folder).dacl))
            EXPECT_NE(e.sid, "S-1-1-0") << folder << " was made open to everyone";
    }
    DropMainWindow();

    // Folders left open from before: a standard user's run leaves them, an administrator's closes them.
    for (bool administrator : {false, true}) {
        SCOPED_TRACE(administrator ? "administrator" : "standard user");
        OpenUp(maker);
        OpenUp(dataFolder);
        ASSERT_EQ(WritersOf(dataFolder).count("S-1-1-0"), 1u);
        answers.administrator = administrator;
        StartMainWindow();
        for (const std::string& folder : {maker, dataFolder})
            EXPECT_EQ(WritersOf(folder).count("S-1-1-0"), administrator ? 0u : 1u) << folder;
        DropMainWindow();
    }
}
