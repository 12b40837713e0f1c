// RunStartup: the program's whole start-up sequence, run before the main window shows.
#include <vector>

#include "MainWindow.h"
#include "SampleSites.h"
#include "BlockInForce.h"
#include "SettingsStore.h"
#include "SystemAnswersAndActions.h"
#include "Failure.h"
#include "FileHelpers.h"
#include "FolderAccess.h"
#include "HostsBackup.h"
#include "HostsBlocker.h"
#include "ProgramPaths.h"
#include "StartWithWindows.h"
#include "Appearance.h"
#include "ErrorReport.h"
#include "WindowLayout.h"
#include "UserTexts.h"

namespace {

inline constexpr int kListColumnWidthTwips = 7000;
inline constexpr COLORREF kStatusBackColour = RGB(255, 255, 255);

}  // namespace

// Start-up runs its steps in this order, each reported under the load's location with the line
// numbers below, so a failure names the step it happened in.
void MainWindow::RunStartup() {
    Guarded p{reports_, ReportLocation(kMainWindowLoadProcedure)};
    ApplyStartupLook(p);  // 100 to 110
    // About one start in a hundred opens the maker's home page.
    p.Line(112, [&] {
        if (system_.DrawOneToHundred() == kHomePageDraw) system_.OpenHomePage(kHomePageAddress);
    });
    FillWebsiteList(p);                             // 130 to 156
    const DataFolderMade made = MakeDataFolder(p);  // 158 to 166
    // The tray icon is there whether or not the window will show.
    p.Line(168, [&] { trayIcon_.SetTip(kProductName); });
    p.Line(170, [&] { trayIcon_.SetInTray(true); });
    SetStartupOptionBoxes(p);          // 172 to 180
    TakeAdministratorAnswer(p, made);  // 182
    ResumeOrAdoptBlock(p);             // 184 to 210
    p.Line(212, [&] { controls_.statusLabel.SetBackColor(kStatusBackColour); });
    // While a schedule is followed the program starts hidden behind the password, in a free time
    // too, as it does while blocking. The service is asked only when its data folder, which
    // everyone may read, holds a schedule or a lift: most starts find neither and ask nothing.
    const bool clockMayDecide =
        FileExists(ScheduleFilePath(state_.dataFolder)) || FileExists(LiftFilePath(state_.dataFolder));
    if (clockMayDecide && FollowServiceSchedule() && !lock_.Locked()) SetWindowState(WindowState::Minimized);
    // A lift or a schedule that another program saves from now on is heard of at once.
    if (schedule_.service != nullptr) WatchChangeSignal(true);
}

void MainWindow::ApplyStartupLook(Guarded& p) {
    std::array<Control*, std::tuple_size_v<decltype(controls_.byId)>> controls;
    for (size_t k = 0; k < controls.size(); ++k) controls[k] = controls_.byId[k].first;
    p.Line(100, [&] { state_.loading = true; });
    p.Line(104, [&] { ApplySkin(hwnd(), controls); });
    p.Line(106, [&] {
        SetWindowTextA(hwnd(), kProductName);
        SetProgramIcon(hwnd());
        SetApplicationTitle();
    });
    if (p.Test(108, [&] { return FileExists(ProgramFolderFile(kHandPointerFileName)); })) {
        p.Line(110, [&] {
            HCURSOR pointer = look_.handPointer.get();
            LoadHandPointer(pointer);
            if (pointer != look_.handPointer.get()) look_.handPointer.reset(pointer);
        });
    }
}

void MainWindow::FillWebsiteList(Guarded& p) {
    p.Line(130, [&] {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<char*>(kListColumnHeading);
        column.cx = TwipsToPixels(kListColumnWidthTwips, ScreenDpi());
        if (ListView_InsertColumn(websiteList_.hwnd, 0, &column) < 0) throw Failure(kInvalidProcedureCall);
    });
    p.Line(132, [&] {
        ListView_SetColumnWidth(websiteList_.hwnd, 0, TwipsToPixels(kListColumnWidthTwips, ScreenDpi()));
    });

    std::string text;
    p.Line(134, [&] { text = settings_.Get(kKeyBlockedWebsites); });
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
        p.Line(146, [&] { websiteList_.AppendRange(std::move(entries)); });
    }
    if (p.Test(148, [&] { return websiteList_.Count() == 0; })) {
        // The default entries, one line each; the last one's line also gives them to the list view
        // in one update, like a stored list.
        std::vector<std::string> defaults;
        for (size_t k = 0; k < std::size(kDefaultList); ++k) {
            p.Line(150 + 2 * static_cast<int>(k), [&] {
                defaults.emplace_back(kDefaultList[k]);
                if (k + 1 == std::size(kDefaultList)) websiteList_.AppendRange(std::move(defaults));
            });
        }
    }
}

MainWindow::DataFolderMade MainWindow::MakeDataFolder(Guarded& p) {
    // One level at a time, each made with the protected access list so no standard user can plant
    // a hosts backup or a start-up marker in it.
    const std::string makerFolder = MakerFolderPath(commonAppDataFolder_);
    DataFolderMade made;
    if (p.Test(158, [&] { return !FileExists(makerFolder); })) {
        p.Line(160, [&] { made.makerFolderTight = CreateProtectedFolder(makerFolder); });
    }
    p.Line(162, [&] { state_.dataFolder = DataFolderPath(commonAppDataFolder_); });
    if (p.Test(164, [&] { return !FileExists(state_.dataFolder); })) {
        p.Line(166, [&] { made.dataFolderTight = CreateProtectedFolder(state_.dataFolder); });
    }
    return made;
}

void MainWindow::SetStartupOptionBoxes(Guarded& p) {
    // The loading flag keeps the start-with-Windows box's click from writing what it has just read.
    p.Line(172, [&] {
        controls_.startWithWindowsBox.SetValue(
            settings_.Get(kKeyStartWithWindows, kSettingOff) == kSettingOn ? 1 : 0);
    });
    p.Line(174, [&] {
        controls_.startInTrayBox.SetValue(settings_.Get(kKeyMinimized, kSettingOff) == kSettingOn ? 1 : 0);
    });
    if (p.Test(176, [&] { return controls_.startInTrayBox.Value() == 1; })) {
        p.Line(178, [&] { SetWindowState(WindowState::Minimized); });
    }
    p.Line(180, [&] { state_.loading = false; });
}

void MainWindow::TakeAdministratorAnswer(Guarded& p, const DataFolderMade& made) {
    // An administrator's run also closes folders made earlier with a looser list (by an older
    // version, or by a standard user who made them first). A folder this run has just made with
    // the tight list needs nothing more.
    p.Line(182, [&] {
        state_.userIsAdmin = system_.IsAdministrator();
        if (state_.userIsAdmin) {
            if (!made.makerFolderTight) TightenFolderAccess(MakerFolderPath(commonAppDataFolder_));
            if (!made.dataFolderTight) TightenFolderAccess(state_.dataFolder);
        }
    });
}

void MainWindow::ResumeOrAdoptBlock(Guarded& p) {
    if (p.Test(184, [&] {
            return BlockIsInForce(settings_, blocker_, ListedEntries(websiteList_),
                                  websiteList_.Count() == 0);
        })) {
        // A block is in force: resume it, hidden behind the password.
        // Line 186 kept the caption to go back to; the caption follows the state now.
        p.Line(188, [&] { SetBlocking(true); });
        p.Line(190, [&] { StartBlocking(true); });
    } else if (p.Test(192, [&] {
                   // A marker counts only when SYSTEM, the administrators or this account made it.
                   return StartWithWindowsMarkerExists(state_.dataFolder) &&
                          IsTrustedOwner(StartWithWindowsMarkerPath(state_.dataFolder), ownership_) &&
                          !state_.userIsAdmin;
               })) {
        // An administrator switched start with Windows on for the machine: this user adopts it.
        p.Line(194, [&] { controls_.startWithWindowsBox.SetValue(1); });
        p.Line(196, [&] { controls_.startInTrayBox.SetValue(1); });
        p.Line(198, [&] { controls_.startInTrayBox.SetVisible(true); });
        p.Line(200, [&] { settings_.Save(kKeyStartWithWindows, "On"); });
        p.Line(202, [&] { settings_.Save(kKeyMinimized, "On"); });
        p.Line(204, [&] { settings_.Save(kKeyBlockOnStart, "1"); });
        p.Line(208, [&] { SetBlocking(true); });
        p.Line(210, [&] { StartBlocking(true); });
    }
}
