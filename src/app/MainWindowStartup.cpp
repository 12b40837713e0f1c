// Form_Load, the main window's load handler: the program's whole start-up sequence.
#include <vector>

#include "app/Form1.h"
#include "app/SampleSites.h"
#include "app/SettingsStore.h"
#include "app/SystemAnswers.h"
#include "core/Failure.h"
#include "core/FileHelpers.h"
#include "core/FileSecurity.h"
#include "shell/StartupOptions.h"
#include "ui/Appearance.h"
#include "ui/ErrorReport.h"
#include "ui/WindowLayout.h"

namespace {

inline constexpr char kListColumnHeading[] = "Blocked Website(s)";
inline constexpr int kListColumnWidthTwips = 7000;
inline constexpr COLORREF kStatusBackColour = RGB(255, 255, 255);

}  // namespace

void Form1::Form_Load() {
    Guarded p{"in Nestwarden2021/08/31.Form1.Form_Load "};
    Control* const controls[] = {&PushButton1, &PushButton2, &PushButton3, &PushButton4,
                                 &PushButton5, &PushButton6, &Frame1,      &Frame2,
                                 &Label2,      &txtPassword, &Check1,      &Check8};

    p.Line(100, [&] { Loading = true; });
    p.Line(104, [&] { ApplySkin(hwnd(), controls); });
    p.Line(106, [&] {
        SetWindowTextA(hwnd(), kProductName);
        SetProgramIcon(hwnd());
        SetApplicationTitle();
    });
    if (p.Test(108, [&] { return FileExists(ProgramFolderFile(kHandPointerFileName)); })) {
        p.Line(110, [&] { LoadHandPointer(HandPointer); });
    }

    // About one start in a hundred opens the maker's home page.
    SystemAnswers& system = CurrentSystemAnswers();
    if (p.Test(112, [&] { return system.DrawOneToHundred() == kHomePageDraw; })) {
        p.Line(114, [&] { system.OpenHomePage(kHomePageAddress); });
    }

    p.Line(130, [&] {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<char*>(kListColumnHeading);
        column.cx = TwipsToPixels(kListColumnWidthTwips, ScreenDpi());
        if (ListView_InsertColumn(ListView1.hwnd, 0, &column) < 0) throw Failure("Invalid procedure call");
    });
    p.Line(132, [&] {
        ListView_SetColumnWidth(ListView1.hwnd, 0, TwipsToPixels(kListColumnWidthTwips, ScreenDpi()));
    });

    std::string text;
    p.Line(134, [&] { text = GetSetting(kKeyBlockedWebsites); });
    if (p.Test(136, [&] { return !text.empty(); })) {
        std::vector<std::string> pieces;
        std::vector<std::string> entries;
        p.Line(138, [&] { pieces = DecodeWebsiteList(text); });
        for (std::string& piece : pieces) {
            if (p.Test(142, [&] { return !piece.empty(); })) {
                p.Line(144, [&] { entries.push_back(std::move(piece)); });
            }
        }
        // The entries reach the list view in one update, so a long stored list loads at once.
        p.Line(146, [&] { ListView1.AppendRange(std::move(entries)); });
    }
    if (p.Test(148, [&] { return ListView1.Count() == 0; })) {
        // The default entries, like a stored list, reach the list view in one update.
        std::vector<std::string> defaults;
        int line = 150;
        for (const char* site : kDefaultList) {
            p.Line(line, [&] { defaults.emplace_back(site); });
            line += 2;
        }
        p.Line(line - 2, [&] { ListView1.AppendRange(std::move(defaults)); });
    }

    // The data folder, one level at a time, each made with the protected access list so no
    // standard user can plant a hosts backup or a start-up marker in it. The shell is asked for
    // the all-users application data folder once.
    const std::string commonAppData = CommonAppDataPath();
    const std::string makerFolder = commonAppData + "\\Kelmarin";
    bool makerFolderMadeTight = false, dataFolderMadeTight = false;
    if (p.Test(158, [&] { return !FileExists(makerFolder); })) {
        p.Line(160, [&] { makerFolderMadeTight = CreateProtectedFolder(makerFolder); });
    }
    p.Line(162, [&] { DataFolder = commonAppData + "\\Kelmarin\\" + kProductName; });
    if (p.Test(164, [&] { return !FileExists(DataFolder); })) {
        p.Line(166, [&] { dataFolderMadeTight = CreateProtectedFolder(DataFolder); });
    }

    p.Line(168, [&] { cSysTray1.SetTrayTip(kProductName); });
    p.Line(170, [&] { cSysTray1.SetInTray(true); });

    // The loading flag keeps Check1's click from writing what it has just read.
    p.Line(172, [&] { Check1.SetValue(GetSetting(kKeyWindowsStartup, kSettingOff) == kSettingOn ? 1 : 0); });
    p.Line(174, [&] { Check8.SetValue(GetSetting(kKeyMinimized, kSettingOff) == kSettingOn ? 1 : 0); });
    if (p.Test(176, [&] { return Check8.Value() == 1; })) {
        p.Line(178, [&] { SetWindowState(WindowState::Minimized); });
    }
    p.Line(180, [&] { Loading = false; });

    // An administrator's run also closes folders made earlier with a looser list (by an older
    // version, or by a standard user who made them first). A folder this run has just made with
    // the tight list needs nothing more.
    p.Line(182, [&] {
        UserIsAdmin = system.IsAdministrator();
        if (UserIsAdmin) {
            if (!makerFolderMadeTight) TightenFolderAccess(makerFolder);
            if (!dataFolderMadeTight) TightenFolderAccess(DataFolder);
        }
    });

    if (p.Test(184, [&] { return ReadBlockOnStart() != 0; })) {
        // Blocking was on at the last close: resume it.
        p.Line(186, [&] { SavedButtonCaption = PushButton2.Caption(); });
        p.Line(188, [&] { PushButton2.SetCaption(kStopBlockingCaption); });
        p.Line(190, [&] { StartBlocking(true); });
    } else if (p.Test(192, [&] {
                   // A marker counts only when SYSTEM, the administrators or this account made it.
                   return StartupMarkerExists(DataFolder) &&
                          IsTrustedOwner(DataFolder + kStartupMarkerSuffix) && !UserIsAdmin;
               })) {
        // An administrator switched start with Windows on for the machine: this user adopts it.
        p.Line(194, [&] { Check1.SetValue(1); });
        p.Line(196, [&] { Check8.SetValue(1); });
        p.Line(198, [&] { Check8.SetVisible(true); });
        p.Line(200, [&] { SaveSetting(kKeyWindowsStartup, "On"); });
        p.Line(202, [&] { SaveSetting(kKeyMinimized, "On"); });
        p.Line(204, [&] { SaveSetting(kKeyBlockOnStart, "1"); });
        p.Line(206, [&] { SavedButtonCaption = PushButton2.Caption(); });
        p.Line(208, [&] { PushButton2.SetCaption(kStopBlockingCaption); });
        p.Line(210, [&] { StartBlocking(true); });
    }

    p.Line(212, [&] { Label2.SetBackColor(kStatusBackColour); });
}
